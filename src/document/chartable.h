#pragma once

#include "textencoder.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <vector>

// A character table ("table file"): bytes of one to eight as a key, each read
// as a text of one or more characters, for files whose text is in an encoding
// of their own. The file holds one entry a line:
//
//     9B4D=魔        a key and its text
//     /FF=<end>      an end code (the text is optional)
//     *FE            a line break, *FE=TEXT with a text
//     # or ;         a comment; blank lines are ignored
//
// The file is UTF-8 (a byte-order mark allowed) or UTF-16 with a byte-order
// mark, with LF or CRLF line ends. A key given twice is an error, since its
// text would be ambiguous.
//
// Bytes read through a table by the longest key that matches at each place,
// from the start of the file on: a byte no key begins with reads as nothing
// and the walk goes on with the next byte. Text is written through it by the
// longest value that matches the text first.
class CCharTable {
public:
    static constexpr int kMaxKeyLength = 8;

    enum class Kind : std::uint8_t { Char, End, LineBreak };
    struct Entry {
        QByteArray key;
        QString text;
        Kind kind = Kind::Char;
    };
    // A key matched at some place: nBytes 0 when none matches.
    struct Match {
        int nBytes = 0;
        const Entry* pEntry = nullptr;
    };
    // Why a table was not loaded: the first line that is no entry (nLine from
    // 1, with the line's text), or nLine 0 when the file holds no entry.
    struct ParseError {
        int nLine = 0;
        QString strLine;
    };

    CCharTable();

    // Reads a table from a file's bytes. On failure the table is left as it
    // was and pError, when given, says why.
    bool Parse(const QByteArray& file, ParseError* pError = nullptr);

    // Reads the table file at path and takes its file name as Name(). On
    // failure the table is left as it was and *pMessage says why, in the
    // user's language: the file that cannot be read (no regular file, or
    // larger than kMaxFileSize), or the line that is no entry.
    bool LoadFile(const QString& path, QString* pMessage);
    // The largest table file read: a table of every two-byte key takes about
    // 1.5 MiB, so this leaves room for long keys and comments, and a device
    // or a wrong file chosen by mistake is refused rather than read whole.
    static constexpr qint64 kMaxFileSize = 16 << 20;

    bool IsEmpty() const { return m_entries.empty(); }
    const std::vector<Entry>& Entries() const { return m_entries; }
    // The name the table is known by (its file's name), for menus and the
    // status bar; the caller's to set.
    QString Name() const { return m_strName; }
    // The most bytes an entry's shown text takes in UTF-8.
    int MostShownBytes() const { return m_nMostShownBytes; }
    // An entry's ShownText as UTF-8, for --dump: n bytes at the result, which
    // may be read as 8 bytes whatever n is.
    const char* ShownUtf8(const Entry* pEntry, std::size_t& n) const
    {
        const auto i = std::size_t(pEntry - m_entries.data());
        n = m_shownAt[i + 1] - m_shownAt[i];
        return m_shownPool.data() + m_shownAt[i];
    }
    void SetName(const QString& name) { m_strName = name; }

    // The longest key that matches the bytes at p, reading at most nAvail.
    // Inline for the bytes that begin keys of one or two bytes only, the
    // commonest by far: --dump calls it for every byte.
    Match MatchAt(const std::uint8_t* p, std::size_t nAvail) const
    {
        const unsigned mask = nAvail ? m_lengths[p[0]] : 0;
        if (mask == 0 && nAvail)
            return m_single[p[0]] >= 0 ? Match{1, &m_entries[std::size_t(m_single[p[0]])]} : Match{};
        if (mask == 4 && nAvail >= 2) {
            if (const int nIndex = m_pairs[std::size_t(p[0]) << 8 | p[1]]; nIndex >= 0)
                return {2, &m_entries[std::size_t(nIndex)]};
            return m_single[p[0]] >= 0 ? Match{1, &m_entries[std::size_t(m_single[p[0]])]} : Match{};
        }
        return LongMatchAt(p, nAvail);
    }
    // The most bytes a key that begins with b takes (0 when none does): a
    // scan of bytes in parts can tell whether a key may go on past a part.
    int LongestKeyFrom(std::uint8_t b) const
    {
        if (const unsigned mask = m_lengths[b])
            return 31 - __builtin_clz(mask);
        return m_single[b] >= 0 ? 1 : 0;
    }
    // The walk's step at p for --dump, read from p[0] and p[1] at once: the
    // shown text's UTF-8 (up to three bytes, '.' where no key matches) as the
    // first three bytes of the value in memory, and in its last byte
    // (StepFlags) the text's length in bits 0-1, kStepPair when the key is
    // the two bytes, kStepSlow when MatchAt must decide (a key of three bytes
    // or more begins with p[0], or the text is longer), kStepNone when no key
    // matches, kStepEnd when the key is an end code, by p[0] << 8 | p[1].
    // Only once a table is parsed (HasSteps).
    enum : std::uint32_t { kStepPair = 0x80, kStepSlow = 0x40, kStepNone = 0x20, kStepEnd = 0x10 };
    bool HasSteps() const { return !m_steps.empty(); }
    std::uint32_t StepAt(std::uint32_t nBytes) const { return m_steps[nBytes]; }
    // All 64 Ki steps, for a gather of several at once.
    const std::uint32_t* Steps() const { return m_steps.data(); }
    static std::uint32_t StepFlags(std::uint32_t nStep)
    {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        return nStep >> 24;
#else
        return nStep & 0xFF;
#endif
    }
    // The first offset at or after nPos (at most nLength) where the walk from
    // the start of the nLength bytes lands, reading no byte at or past
    // nLength. Found without walking from the start where walks from a little
    // before nPos agree (see chartable.cpp).
    std::uint32_t LandingAt(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nPos) const;
    // The same for nLength bytes from somewhere in a file, nPos bytes into
    // them: false when the walks begun within them do not agree by nPos, so
    // that only a walk from farther back can tell.
    bool LandingWithin(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nPos,
                       std::uint32_t& nLanding) const;
    // The same by walking from nFrom, an offset the walk lands on.
    std::uint32_t WalkTo(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFrom,
                         std::uint32_t nPos) const;

    // What the text column shows for an entry: its text, or for a line break
    // without one a return sign.
    static QString ShownText(const Entry& entry);
    // The entry as plain text: its text, a line break's followed by a newline.
    static QString PlainText(const Entry& entry);
    // The bytes [nFirst, nEnd) as text, read by the walk from the start of
    // the nLength bytes: each character whose key starts there, the last one
    // whole even when its key runs past nEnd; bytes no key covers, and those
    // covered by a key that starts before nFirst, as U+FFFD.
    QString Decode(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFirst,
                   std::uint32_t nEnd) const;

    // The text as bytes: at each place the longest value that the text goes on
    // with (an earlier entry first among equal values; a newline takes a line
    // break's key). A character no value begins there refuses the whole text.
    CEncodedText Encode(QStringView text) const;

private:
    bool AddEntry(Entry&& entry);
    Match LongMatchAt(const std::uint8_t* p, std::size_t nAvail) const;
    void MakeSteps();
    bool WalksAgree(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nPos, std::uint32_t nBack,
                    std::uint32_t& nLanding) const;

    std::vector<Entry> m_entries;
    QString m_strName;
    int m_nMostShownBytes = 1;
    // The entries' shown texts in UTF-8 one after another, entry i's from
    // m_shownAt[i] to m_shownAt[i + 1], and 8 bytes of slack: small and
    // together, where a random file's look-ups find them in the cache.
    std::vector<char> m_shownPool;
    std::vector<std::uint32_t> m_shownAt;
    // The one-byte keys by their byte (an index into m_entries, or -1), and
    // the longer ones by length, each list sorted by the key's bytes read as
    // a big-endian number; m_lengths[b] has bit L set when a key of L bytes
    // begins with b.
    std::array<int, 256> m_single{};
    std::array<std::uint16_t, 256> m_lengths{};
    std::array<std::vector<std::pair<std::uint64_t, int>>, kMaxKeyLength + 1> m_keys;
    // The two-byte keys, the commonest longer ones, also by their two bytes
    // (an index into m_entries, or -1), made once a table has any.
    std::vector<int> m_pairs;
    // StepAt's steps: 256 KiB, made once a table is parsed.
    std::vector<std::uint32_t> m_steps;
    // Values that can be written, by their first UTF-16 unit, the longest
    // first, each once: the value and the first entry that writes it.
    QHash<char16_t, std::vector<std::pair<QString, int>>> m_values;
};
