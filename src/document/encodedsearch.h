#pragma once

#include "multipattern.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

class CCharTable;

// A text to find as the bytes of several encodings at once (Find in All
// Encodings, `--find`). Each encoding is named by a code page: 936 GB, 950
// BIG5, 932 Shift JIS, 65001 UTF-8, and 1200 and 1201 for UTF-16 little and
// big endian. An encoding that cannot hold the text (see EncodeText) is left
// out and named in Skipped(). More patterns can be added after the encodings,
// a character table's bytes for the text for instance: Add with code page 0
// when no code page reads them.
class CEncodedSearch {
public:
    static constexpr int kUtf16Le = 1200;
    static constexpr int kUtf16Be = 1201;
    // Every encoding, in the order hits at one offset are listed.
    static const std::vector<int>& AllEncodings();
    // "GB", "BIG5", "SJIS", "UTF-8", "UTF-16LE", "UTF-16BE".
    static QString EncodingName(int nCodePage);
    // Takes those names in any case, "Shift_JIS" and the code page numbers
    // too; 0 for anything else.
    static int EncodingFromName(const QString& name);
    // The text as the bytes of one encoding; UTF-16 has no byte-order mark.
    static bool Encode(int nCodePage, QStringView text, QByteArray& bytes);

    explicit CEncodedSearch(QStringView text, const std::vector<int>& encodings = AllEncodings());

    int Add(const QString& name, const QByteArray& bytes, int nCodePage);
    // Names an encoding that was not searched, since it cannot hold the text.
    void Skip(const QString& name) { m_skipped += name; }

    const CMultiPattern& Patterns() const { return m_patterns; }
    int CodePage(int nPattern) const { return m_codePages[std::size_t(nPattern)]; }
    const QStringList& Skipped() const { return m_skipped; }

    // The bytes TextAround reads before a hit and after it.
    static constexpr std::uint32_t kTextBefore = 8;
    static constexpr std::uint32_t kTextAfter = 24;

    // What surrounds a hit, for a list of hits: a few bytes before it and more
    // after it, read in the code page given (as decoded from the hit itself on,
    // so that the hit's own characters pair right). Control characters and
    // bytes that read as nothing show as '.'.
    static QString TextAround(int nCodePage, const std::uint8_t* pData, std::uint64_t nLength, std::uint64_t nAt,
                              std::uint32_t nMatch);
    // The same read through a character table: the bytes before the hit by
    // the table's walk from where they start, the hit and what follows by the
    // walk from the hit.
    static QString TextAround(const CCharTable& table, const std::uint8_t* pData, std::uint64_t nLength,
                              std::uint64_t nAt, std::uint32_t nMatch);

private:
    CMultiPattern m_patterns;
    std::vector<int> m_codePages;
    QStringList m_skipped;
};
