#include "filename.h"

#include <QDir>

#include <cerrno>
#include <climits>
#include <unistd.h>
#include <vector>

namespace {

constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;

// The length of the valid UTF-8 sequence at p, of which n bytes are left;
// 0 for a byte that starts none: a stray continuation byte, an overlong form,
// a surrogate, a code point past U+10FFFF, a sequence cut short.
int SequenceLength(const uchar* p, qsizetype n)
{
    const uchar lead = p[0];
    if (lead < 0x80)
        return 1;
    int nLength = 0;
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        nLength = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        nLength = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        nLength = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (n < nLength || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < nLength; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    }
    return nLength;
}

// Whether the character at i of path is an escaped byte: a low surrogate in
// the escapes' range that ends no pair.
bool IsEscape(QStringView path, qsizetype i)
{
    const char16_t c = path[i].unicode();
    return c >= kFirstEscape && c <= kLastEscape && (i == 0 || !path[i - 1].isHighSurrogate());
}

} // namespace

QString AfxDecodeFileName(const QByteArray& name)
{
    const auto* p = reinterpret_cast<const uchar*>(name.constData());
    const qsizetype n = name.size();
    QString path;
    path.reserve(n);
    qsizetype nRun = 0;   // the start of the valid bytes not yet decoded
    for (qsizetype i = 0; i < n;) {
        const int nLength = SequenceLength(p + i, n - i);
        if (nLength > 0) {
            i += nLength;
            continue;
        }
        path += QString::fromUtf8(name.constData() + nRun, i - nRun);
        path += QChar(char16_t(kFirstEscape + (p[i] - 0x80)));
        nRun = ++i;
    }
    path += QString::fromUtf8(name.constData() + nRun, n - nRun);
    return path;
}

QByteArray AfxEncodeFileName(const QString& path)
{
    QByteArray name;
    name.reserve(path.size());
    qsizetype nRun = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!IsEscape(path, i))
            continue;
        name += QStringView(path).mid(nRun, i - nRun).toUtf8();
        name += char(0x80 + (path[i].unicode() - kFirstEscape));
        nRun = i + 1;
    }
    name += QStringView(path).mid(nRun).toUtf8();
    return name;
}

bool AfxHasRawBytes(const QString& path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (IsEscape(path, i))
            return true;
    }
    return false;
}

QString AfxDisplayFileName(const QString& path)
{
    QString text;
    text.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (IsEscape(path, i))
            text += QLatin1String("\\x") + QString::number(0x80 + (path[i].unicode() - kFirstEscape), 16).toUpper();
        else
            text += path[i];
    }
    return text;
}

QString AfxFileTitle(const QString& path)
{
    return AfxDisplayFileName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
}

QString AfxAbsoluteFilePath(const QString& path)
{
    if (path.isEmpty())
        return path;
    if (path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    // The working folder's name may hold bytes that are not UTF-8 too.
    std::vector<char> folder(PATH_MAX);
    while (!::getcwd(folder.data(), folder.size())) {
        if (errno != ERANGE)
            return QDir::cleanPath(QDir::currentPath() + QLatin1Char('/') + path);
        folder.resize(folder.size() * 2);
    }
    return QDir::cleanPath(AfxDecodeFileName(QByteArray(folder.data())) + QLatin1Char('/') + path);
}

QString AfxFolderPath(const QString& path)
{
    const QString absolute = AfxAbsoluteFilePath(path);
    return absolute.left(qMax<qsizetype>(absolute.lastIndexOf(QLatin1Char('/')), 1));
}

QString AfxFileNameToProfile(const QString& path)
{
    if (!AfxHasRawBytes(path))
        return path;
    return QLatin1String("file://") + QString::fromLatin1(AfxEncodeFileName(path).toPercentEncoding("/"));
}

QString AfxFileNameFromProfile(const QString& text)
{
    if (!text.startsWith(QLatin1String("file://")))
        return text;
    return AfxDecodeFileName(QByteArray::fromPercentEncoding(text.mid(7).toLatin1()));
}
