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

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
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

    // A line is at most the offset, the hex part and 17 text bytes of up to 3
    // UTF-8 bytes each (a pair takes 2 cells and at most 4 bytes), the 16 bytes the
    // decoder may write past its end, and the newline.
    constexpr std::size_t kMaxLine = CRowFormat::kMaxOffsetLength + CRowFormat::kHexPartLength + 17 * 3 + 16 + 1;
    constexpr std::size_t kFlushAt = std::size_t(1) << 20;
    std::vector<char> buffer(kFlushAt + kMaxLine);
    char* out = buffer.data();

    const CTextDecoder decoder(doc.m_nCodePage);
    const std::uint32_t nRows = std::uint32_t((std::uint64_t(doc.m_nSize) + 15) >> 4);
    bool bContinued = false;
    for (std::uint32_t r = 0; r < nRows; ++r) {
        char* line = out;
        out += CRowFormat::FormatOffset(r * 16, out);
        // The row goes straight into the output; its text column is then turned
        // into UTF-8 where it stands.
        const int nLength = CRowFormat::FormatRow(doc, r, out, bContinued);
        char* text = out + CRowFormat::kHexPartLength;
        out = decoder.ToUtf8(text, nLength - CRowFormat::kHexPartLength, text);
        while (out > line && out[-1] == ' ')
            --out;
        *out++ = '\n';
        if (std::size_t(out - buffer.data()) >= kFlushAt) {
            if (!Write(buffer.data(), std::size_t(out - buffer.data())))
                return 1;
            out = buffer.data();
        }
    }
    if (!Write(buffer.data(), std::size_t(out - buffer.data())))
        return 1;
    if (std::fflush(stdout) != 0) {
        ReportError(QLatin1String("cannot write the output: ") + QString::fromLocal8Bit(std::strerror(errno)));
        return 1;
    }
    return 0;
}
