#include "findmain.h"

#include "cmdline.h"
#include "encodedsearch.h"
#include "fileexception.h"
#include "filereader.h"
#include "relativesearch.h"
#include "afxres.h"
#include "resource.h"
#include "resources.h"

#include <QFile>

#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace {

const char kUsage[] = "Usage: zorbel --find TEXT [--encoding NAME]... [--relative] [--] FILE...\n";

constexpr std::uint32_t kPartBytes = 1u << 22;

struct FindCommandLine {
    const char* pszText = nullptr;
    std::vector<int> encodings;
    bool bRelative = false;
    std::vector<const char*> files;
};

int UsageError(const std::string& problem)
{
    std::fprintf(stderr, "zorbel: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

// The value of "--name VALUE" or "--name=VALUE" at argv[i], moving i past it;
// null when there is none.
const char* OptionValue(int argc, char* argv[], int& i, const char* pszName)
{
    const std::size_t n = std::strlen(pszName);
    if (argv[i][n] == '=')
        return argv[i] + n + 1;
    return ++i < argc ? argv[i] : nullptr;
}

bool IsOption(const char* arg, const char* pszName)
{
    const std::size_t n = std::strlen(pszName);
    return std::strncmp(arg, pszName, n) == 0 && (arg[n] == '\0' || arg[n] == '=');
}

int Parse(int argc, char* argv[], FindCommandLine& cmd)
{
    bool bOptions = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!bOptions || arg[0] != '-' || arg[1] == '\0') {
            cmd.files.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            bOptions = false;
        } else if (IsOption(arg, "--find")) {
            // The text is taken as it stands, even when it begins with "-".
            if (cmd.pszText || !(cmd.pszText = OptionValue(argc, argv, i, "--find")))
                return UsageError("--find needs one text");
        } else if (IsOption(arg, "--encoding")) {
            const char* value = OptionValue(argc, argv, i, "--encoding");
            const int nCodePage = value ? CEncodedSearch::EncodingFromName(QString::fromLocal8Bit(value)) : 0;
            if (nCodePage == 0)
                return UsageError("--encoding takes GB, BIG5, SJIS, UTF-8, UTF-16LE or UTF-16BE");
            if (std::find(cmd.encodings.begin(), cmd.encodings.end(), nCodePage) == cmd.encodings.end())
                cmd.encodings.push_back(nCodePage);
        } else if (std::strcmp(arg, "--relative") == 0) {
            cmd.bRelative = true;
        } else {
            return UsageError("unknown option " + std::string(arg) + " for --find");
        }
    }
    if (!cmd.pszText || cmd.pszText[0] == '\0')
        return UsageError("--find needs a text");
    if (cmd.bRelative && !cmd.encodings.empty())
        return UsageError("--relative finds letters in codes of their own: it takes no --encoding");
    if (cmd.files.empty())
        return UsageError("--find needs a file");
    return 0;
}

// A search as the file loop drives it: scans what is held, appends a line to
// out for each hit, which starts with prefix (the file's name and a colon),
// returns what it is done with.
using ScanPart = std::function<std::uint32_t(const std::uint8_t*, std::uint32_t, std::uint64_t, bool,
                                             const std::string& prefix, std::string& out)>;

void AppendHit(std::string& out, const std::string& prefix, std::uint64_t nOffset, const QString& what)
{
    out += prefix;
    char offset[24];
    const int n = std::snprintf(offset, sizeof offset, "%08llX:", static_cast<unsigned long long>(nOffset));
    out.append(offset, std::size_t(n));
    out += what.toStdString();
    out += '\n';
}

// Returns 0 found, 1 not found, 2 when the file could not be read or 3 when the
// output could not be written.
int SearchFile(const char* pszPath, std::uint32_t nMaxLength, const ScanPart& scan)
{
    const QString path = QFile::decodeName(pszPath);
    bool bFound = false;
    try {
        CFileReader reader(path);
        std::vector<std::uint8_t> buffer(kPartBytes + nMaxLength);
        std::uint32_t nKept = 0;
        std::uint64_t nBase = 0;
        std::string out;
        const std::string prefix = std::string(pszPath) + ':';
        for (bool bLast = false; !bLast;) {
            const std::uint32_t nGot = reader.Read(buffer.data() + nKept, kPartBytes);
            bLast = nGot < kPartBytes;
            const std::uint32_t nHeld = nKept + nGot;
            out.clear();
            const std::uint32_t nDone = scan(buffer.data(), nHeld, nBase, bLast, prefix, out);
            if (!out.empty()) {
                bFound = true;
                if (!WriteOutput(out.data(), out.size()))
                    return 3;
            }
            nKept = nHeld - nDone;
            std::memmove(buffer.data(), buffer.data() + nDone, nKept);
            nBase += nDone;
        }
    } catch (const CFileException& e) {
        const QString text = e.GetErrorMessage();
        ReportError(text.isEmpty() ? path + QLatin1String(": ") + AfxLoadString(AFX_IDP_FAILED_TO_OPEN_DOC) : text);
        return 2;
    } catch (const std::bad_alloc&) {
        ReportError(path + QLatin1String(": ") + AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC));
        return 2;
    }
    return bFound ? 0 : 1;
}

} // namespace

int FindMain(int argc, char* argv[])
{
    FindCommandLine cmd;
    if (const int nStatus = Parse(argc, argv, cmd))
        return nStatus;
    const QString text = QString::fromLocal8Bit(cmd.pszText);

    ScanPart scan;
    std::uint32_t nMaxLength = 0;
    std::vector<CRelativeHit> relativeHits;
    std::vector<CPatternHit> hits;
    const CRelativeSearch relative(text, true);
    const CEncodedSearch encoded(text, cmd.encodings.empty() ? CEncodedSearch::AllEncodings() : cmd.encodings);
    if (cmd.bRelative) {
        if (!relative.IsValid()) {
            ReportError(relative.Problem());
            return 2;
        }
        nMaxLength = relative.MaxLength();
        scan = [&](const std::uint8_t* p, std::uint32_t n, std::uint64_t nBase, bool bLast, const std::string& prefix,
                   std::string& out) {
            relativeHits.clear();
            const std::uint32_t nDone = relative.Scan(p, n, nBase, bLast, relativeHits);
            for (const CRelativeHit& hit : relativeHits)
                AppendHit(out, prefix, hit.nOffset,
                          CRelativeSearch::WidthName(hit.width) + QLatin1Char(' ') + relative.FirstLetterText(hit));
            return nDone;
        };
    } else {
        if (!encoded.Skipped().isEmpty())
            ReportError(AfxLoadString(IDS_FINDALL_SKIPPED).arg(encoded.Skipped().join(QLatin1String(", "))));
        if (encoded.Patterns().Count() == 0)
            return 2;
        nMaxLength = encoded.Patterns().MaxLength();
        scan = [&](const std::uint8_t* p, std::uint32_t n, std::uint64_t nBase, bool bLast, const std::string& prefix,
                   std::string& out) {
            hits.clear();
            const std::uint32_t nDone = encoded.Patterns().Scan(p, n, nBase, bLast, hits);
            for (const CPatternHit& hit : hits)
                AppendHit(out, prefix, hit.nOffset, encoded.Patterns().Name(hit.nPattern));
            return nDone;
        };
    }

    int nStatus = 1;
    bool bError = false;
    for (const char* pszPath : cmd.files) {
        const int nFile = SearchFile(pszPath, nMaxLength, scan);
        if (nFile == 3)
            return 2;
        if (nFile == 0)
            nStatus = 0;
        bError = bError || nFile == 2;
    }
    if (!FlushOutput())
        return 2;
    return bError ? 2 : nStatus;
}
