#pragma once

#include "codepage.h"
#include "document.h"
#include "edithistory.h"

#include <QString>

#include <cstdint>
#include <vector>

// One open file, held whole in memory as m_pData: the file's bytes followed by
// the end marker 0xFF, m_nSize bytes in all (file length + 1). The marker is never
// saved, selected or changed; it stops every one- and two-byte look-ahead of the
// code-page rules, which is why no row or detection scan can run off the buffer.
//
// The document owns the buffer. Views allocate replacement buffers with
// AllocBuffer and hand them over with SetData, which frees the old one. Only
// AllocBuffer's buffers may be handed over: FreeBuffer and ResizeData read what
// it records before the data.
class CFileException;

class CHexDoc : public CDocument {
    Q_OBJECT

public:
    CHexDoc();
    ~CHexDoc() override;

    void Serialize(CArchive& ar) override;
    void DeleteContents() override;
    bool OnNewDocument() override;
    bool OnOpenDocument(const QString& path) override;
    // Reads the file into a second document first: a failed reload leaves this
    // one as it was. The code page stays as it was chosen.
    bool ReloadDocument() override;
    bool OnSaveDocument(const QString& path) override;

    // Copies the bytes of the row starting at nOffset into hex and text (room for
    // CRowFormat::kMaxTextLength each) and returns how many it produced: 0 past the
    // end, 16, 17 when a double-byte character crosses into the next row, up to 19
    // when a UTF-8 character does, or in the last row the bytes left, end marker
    // included. With bContinuation the row's first byte is the trail byte of the
    // previous row's last character and shows as '.'.
    std::uint32_t GetRowText(std::uint32_t nOffset, std::uint8_t* hex, char* text, bool bContinuation) const;

    void SetByte(std::uint32_t nOffset, std::uint8_t b) { m_pData[nOffset] = b; }
    void SetData(std::uint8_t* pData);
    // Gives the buffer room for nSize bytes, keeping the first ones (m_nSize
    // bytes at most); m_nSize is the caller's to set afterwards. A large buffer grows by remapping its pages rather than
    // by copying them. Throws std::bad_alloc, with the buffer unchanged, when the
    // memory is not there.
    void ResizeData(std::uint32_t nSize);
    QString GetFileType() const { return m_strFileType; }

    // Replaces nRemove bytes at nPos by nInsert bytes from pSrc, the tail moved
    // once (hexdoc_edit.cpp). The caller keeps the run before the end marker and
    // the length within the limit; pSrc may not point into the buffer. Throws
    // std::bad_alloc with nothing changed.
    void Splice(std::uint32_t nPos, std::uint32_t nRemove, const std::uint8_t* pSrc, std::uint32_t nInsert);
    // Undoes or does again a step of the history, every piece of it. Throws
    // std::bad_alloc with nothing changed.
    void ApplyStep(const CEditStep& step, bool bUndo);

    static std::uint8_t* AllocBuffer(std::uint32_t nSize);
    static void FreeBuffer(std::uint8_t* pData);

    // The longest file that fits: m_nSize counts the end marker in 32 bits.
    static constexpr std::uint64_t kMaxFileLength = 0xFFFFFFFEull;
    // The limit the loader enforces; tests lower it to try the refusal cheaply.
    static std::uint64_t s_nMaxFileLength;
    // Whether a large buffer asks for huge pages, off unless bench_files shows
    // it helps: with the kernel's usual settings the advice makes each fault of
    // a fresh buffer wait for a huge page to be compacted, and loads took twice
    // as long with it.
    static bool s_bHugePages;

    // The file type name the desktop gives a path, or "" when it has none.
    static QString ShellTypeName(const QString& path);

    // Shared by every window of the document; emptied with its contents.
    CEditHistory m_history;
    int m_nCodePage = 0;
    // A load ends with DetectCodePage over the bytes read, as part of the same
    // long task (off the user interface's thread, under its progress and
    // cancel): it sets m_nCodePage and keeps the runs of lead bytes it found
    // until the document's first view takes them over. A reload keeps the code
    // page chosen and skips the scan.
    bool m_bDetectOnLoad = true;
    bool m_bDetected = false;
    std::vector<CByteRange> m_leadRuns;
    QString m_strFileType;
    std::uint32_t m_nSize = 0;
    std::uint8_t* m_pData = nullptr;

private:
    static CFileException TooLarge(const QString& name);
    void ReadToEnd(int fd, const QString& name, const CArchive& ar);
    void DetectLoaded(const CArchive& ar);
};
