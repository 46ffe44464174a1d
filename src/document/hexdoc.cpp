#include "hexdoc.h"

#include "archive.h"
#include "codepage.h"
#include "fileexception.h"
#include "resources.h"
#include "resource.h"
#include "rowformat.h"

#include <QFileDevice>
#include <QFileInfo>
#include <QMimeDatabase>

#include <cstdlib>
#include <sys/mman.h>
#include <new>

std::uint64_t CHexDoc::s_nMaxFileLength = CHexDoc::kMaxFileLength;

CHexDoc::CHexDoc() = default;

CHexDoc::~CHexDoc()
{
    FreeBuffer(m_pData);
}

std::uint8_t* CHexDoc::AllocBuffer(std::uint32_t nSize)
{
    // Uninitialised memory: the read or the copy that follows writes every byte.
    // A large buffer is aligned to huge pages and asks for them, which saves the
    // page faults of touching it 4 KiB at a time (a large share of load time).
    constexpr std::size_t kHugePage = std::size_t(2) << 20;
    void* p = nullptr;
    if (nSize >= 4 * kHugePage) {
        if (posix_memalign(&p, kHugePage, nSize) != 0)
            p = nullptr;
#ifdef MADV_HUGEPAGE
        else
            madvise(p, (nSize + kHugePage - 1) & ~(kHugePage - 1), MADV_HUGEPAGE);
#endif
    } else {
        p = std::malloc(nSize ? nSize : 1);
    }
    if (!p)
        throw std::bad_alloc();
    return static_cast<std::uint8_t*>(p);
}

void CHexDoc::FreeBuffer(std::uint8_t* pData)
{
    std::free(pData);
}

void CHexDoc::SetData(std::uint8_t* pData)
{
    if (pData != m_pData)
        FreeBuffer(m_pData);
    m_pData = pData;
}

void CHexDoc::ResizeData(std::uint32_t nSize)
{
    void* p = std::realloc(m_pData, nSize ? nSize : 1);
    if (!p)
        throw std::bad_alloc();
    m_pData = static_cast<std::uint8_t*>(p);
}

void CHexDoc::DeleteContents()
{
    FreeBuffer(m_pData);
    m_pData = nullptr;
    m_nSize = 0;
}

bool CHexDoc::OnNewDocument()
{
    if (!CDocument::OnNewDocument())
        return false;
    m_pData = AllocBuffer(1);
    m_nSize = 1;
    m_pData[0] = 0xFF;
    return true;
}

void CHexDoc::Serialize(CArchive& ar)
{
    QFileDevice* file = ar.GetFile();
    const QString name = file->fileName();
    if (ar.IsStoring()) {
        const qint64 length = qint64(m_nSize) - 1;
        if (length > 0 && file->write(reinterpret_cast<const char*>(m_pData), length) != length)
            throw CFileException::FromDevice(*file, name);
        return;
    }

    const qint64 length = file->size();
    if (length < 0 || std::uint64_t(length) > s_nMaxFileLength) {
        CFileException e(CFileException::tooLarge, name);
        e.m_nLimit = s_nMaxFileLength;
        throw e;
    }
    m_nSize = std::uint32_t(length) + 1;
    m_pData = AllocBuffer(m_nSize);
    qint64 done = 0;
    while (done < length) {
        const qint64 got = file->read(reinterpret_cast<char*>(m_pData) + done, length - done);
        if (got <= 0) {
            const bool shortRead = got == 0;
            DeleteContents();
            if (shortRead)
                throw CFileException(CFileException::endOfFile, name);
            throw CFileException::FromDevice(*file, name);
        }
        done += got;
    }
    m_pData[m_nSize - 1] = 0xFF;
}

bool CHexDoc::OnOpenDocument(const QString& path)
{
    if (!CDocument::OnOpenDocument(path))
        return false;

    const QString typeName = ShellTypeName(path);
    if (!typeName.isEmpty()) {
        m_strFileType = typeName;
        return true;
    }
    // "report.dat" -> "dat File", "README" -> "File", "name." -> " File".
    const QString fileName = QFileInfo(path).fileName();
    const int dot = fileName.lastIndexOf('.');
    const QString prefix = dot < 0 ? QString() : fileName.mid(dot + 1) + ' ';
    m_strFileType = prefix + AfxLoadString(IDS_FILE);
    return true;
}

QString CHexDoc::ShellTypeName(const QString& path)
{
    static const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(path);
    if (!type.isValid() || type.isDefault())
        return QString();
    return type.comment();
}

std::uint32_t CHexDoc::GetRowText(std::uint32_t nOffset, std::uint8_t* hex, char* text, bool bContinuation) const
{
    return CRowFormat::GetRowText(m_pData, m_nSize, m_nCodePage, nOffset, hex, text, bContinuation);
}
