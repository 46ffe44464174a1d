#include "dump.h"

#include "afxres.h"
#include "archive.h"
#include "cmdline.h"
#include "codepage.h"
#include "fileexception.h"
#include "hexdoc.h"
#include "resources.h"
#include "rowformat.h"
#include "textdecoder.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <new>
#include <thread>
#include <vector>

namespace {

const char kUsage[] = "Usage: zorbel --dump [--codepage N] FILE\n";

// Loads the file into the document the way opening it in a window does, without
// asking the desktop for its type. Reports a failure and returns false.
bool Load(CHexDoc& doc, const QString& path)
{
    try {
        if (QFileInfo(path).isDir())
            throw CFileException(CFileException::invalidFile, path);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw CFileException::FromDevice(file, path);
        CArchive ar(&file, CArchive::load);
        doc.Serialize(ar);
    } catch (const CFileException& e) {
        const QString text = e.GetErrorMessage();
        ReportError(text.isEmpty() ? path + QLatin1String(": ") + AfxLoadString(AFX_IDP_FAILED_TO_OPEN_DOC) : text);
        return false;
    } catch (const std::bad_alloc&) {
        ReportError(path + QLatin1String(": ") + AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC));
        return false;
    }
    return true;
}

bool Write(const char* pData, std::size_t nLength)
{
    if (std::fwrite(pData, 1, nLength, stdout) == nLength)
        return true;
    ReportError(QLatin1String("cannot write the output: ") + QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

// Formats rows [nFirst, nEnd) as dump lines into out, which keeps its size from
// block to block, and returns their length. Each block of rows finds out by
// itself whether its first row is continued, so that blocks can be formatted apart
// from each other.
std::size_t FormatRows(const CHexDoc& doc, const CTextDecoder& decoder, std::uint32_t nFirst, std::uint32_t nEnd,
                       std::vector<char>& out)
{
    // A line is at most the offset, the hex part and the text bytes of up to 3
    // UTF-8 bytes each (a pair takes 2 cells and at most 4 bytes; a UTF-8
    // character takes as many bytes as it had and a blank for each of its other
    // cells), the 16 bytes the decoder may write past its end, and the newline.
    constexpr std::size_t kMaxLine =
        CRowFormat::kMaxOffsetLength + CRowFormat::kHexPartLength + CRowFormat::kMaxTextLength * 3 + 16 + 1;
    out.resize(std::max(out.size(), std::size_t(nEnd - nFirst) * kMaxLine));
    char* p = out.data();
    bool bContinued = nFirst > 0 && CRowFormat().IsRowContinued(doc, nFirst, true);
    for (std::uint32_t r = nFirst; r < nEnd; ++r) {
        char* line = p;
        p += CRowFormat::FormatOffset(r * 16, p);
        // The row goes straight into the output; its text column is then turned
        // into UTF-8 where it stands.
        const int nLength = CRowFormat::FormatRow(doc, r, p, bContinued);
        char* text = p + CRowFormat::kHexPartLength;
        p = decoder.ToUtf8(text, nLength - CRowFormat::kHexPartLength, text);
        while (p > line && p[-1] == ' ')
            --p;
        *p++ = '\n';
    }
    return std::size_t(p - out.data());
}

} // namespace

int DumpMain(int argc, char* argv[])
{
    CFileCommandLine cmd;
    if (const int nStatus = ParseFileCommandLine(argc, argv, "--dump", false, kUsage, cmd))
        return nStatus;

    CHexDoc doc;
    if (!Load(doc, QFile::decodeName(cmd.pszPath)))
        return 1;
    doc.m_nCodePage = cmd.nCodePage != 0 ? cmd.nCodePage : DetectCodePage(doc.m_pData, doc.m_nSize);

    // Blocks of rows are formatted on every core, a few blocks ahead of the
    // output, and written in order as each is done: a large file streams out.
    constexpr std::uint32_t kBlockRows = 1u << 14;
    const CTextDecoder decoder(doc.m_nCodePage);
    const std::uint32_t nRows = std::uint32_t((std::uint64_t(doc.m_nSize) + 15) >> 4);
    const std::size_t nAhead = 2 * std::max(1u, std::thread::hardware_concurrency());
    // The buffers go round: one written is the next to be formatted into.
    std::vector<std::vector<char>> buffers(nAhead);
    std::deque<std::pair<std::vector<char>*, std::future<std::size_t>>> pending;
    std::uint32_t nNext = 0;
    std::size_t nBuffer = 0;
    bool bWritten = true;
    while (bWritten && (nNext < nRows || !pending.empty())) {
        while (nNext < nRows && pending.size() < nAhead) {
            const std::uint32_t nEnd = nRows - nNext > kBlockRows ? nNext + kBlockRows : nRows;
            std::vector<char>* pOut = &buffers[nBuffer++ % nAhead];
            pending.emplace_back(pOut, std::async(std::launch::async, [&doc, &decoder, nNext, nEnd, pOut] {
                                     return FormatRows(doc, decoder, nNext, nEnd, *pOut);
                                 }));
            nNext = nEnd;
        }
        const std::size_t nLength = pending.front().second.get();
        bWritten = Write(pending.front().first->data(), nLength);
        pending.pop_front();
    }
    // Blocks still being formatted finish before the document goes.
    for (auto& block : pending)
        block.second.wait();
    if (!bWritten)
        return 1;
    if (std::fflush(stdout) != 0) {
        ReportError(QLatin1String("cannot write the output: ") + QString::fromLocal8Bit(std::strerror(errno)));
        return 1;
    }
    return 0;
}
