#include "bookmarks.h"

#include "filename.h"

#include "settingsprofile.h"

#include <QStringList>

#include <algorithm>

namespace {

const QString kSection = QStringLiteral("Bookmarks");

QString FileEntry(int i)
{
    return QStringLiteral("File%1").arg(i);
}

QString MarksEntry(int i)
{
    return QStringLiteral("Marks%1").arg(i);
}

// A name is one line of text: line breaks and other control characters, which
// the text file could not hold, become spaces.
QString OneLine(const QString& name)
{
    QString line = name;
    for (QChar& ch : line)
        if (ch.category() == QChar::Other_Control)
            ch = QLatin1Char(' ');
    return line;
}

} // namespace

bool CBookmarks::Toggle(qint64 nOffset, qint64 nLength)
{
    const int i = IndexOf(nOffset, nLength);
    if (i >= 0) {
        RemoveAt(i);
        return false;
    }
    Add(nOffset, nLength);
    return true;
}

int CBookmarks::IndexAt(qint64 nOffset) const
{
    for (std::size_t i = 0; i < m_list.size() && m_list[i].nOffset <= nOffset; ++i)
        if (nOffset < m_list[i].End())
            return int(i);
    return -1;
}

int CBookmarks::IndexOf(qint64 nOffset, qint64 nLength) const
{
    for (std::size_t i = 0; i < m_list.size(); ++i)
        if (m_list[i].nOffset == nOffset && m_list[i].nLength == nLength)
            return int(i);
    return -1;
}

void CBookmarks::Add(qint64 nOffset, qint64 nLength, const QString& strName)
{
    if (nLength == 0)
        return;
    m_list.push_back({nOffset, nLength, OneLine(strName), NextId()});
    Sort();
    emit bookmarksChanged();
}

void CBookmarks::RemoveAt(int i)
{
    if (i < 0 || i >= Count())
        return;
    m_list.erase(m_list.begin() + i);
    emit bookmarksChanged();
}

void CBookmarks::Rename(int i, const QString& strName)
{
    if (i < 0 || i >= Count() || m_list[std::size_t(i)].strName == OneLine(strName))
        return;
    m_list[std::size_t(i)].strName = OneLine(strName);
    emit bookmarksChanged();
}

void CBookmarks::Clear()
{
    if (m_list.empty())
        return;
    m_list.clear();
    emit bookmarksChanged();
}

void CBookmarks::SetAll(std::vector<CBookmark> list)
{
    if (m_list.empty() && list.empty())
        return;
    m_list = std::move(list);
    for (CBookmark& mark : m_list) {
        mark.nId = NextId();
        mark.strName = OneLine(mark.strName);
    }
    Sort();
    emit bookmarksChanged();
}

void CBookmarks::Clip(qint64 nLength)
{
    const std::size_t nBefore = m_list.size();
    bool bChanged = false;
    m_list.erase(std::remove_if(m_list.begin(), m_list.end(),
                                [nLength](const CBookmark& mark) { return mark.nOffset >= nLength; }),
                 m_list.end());
    for (CBookmark& mark : m_list) {
        if (mark.End() > nLength) {
            mark.nLength = nLength - mark.nOffset;
            bChanged = true;
        }
    }
    if (bChanged || m_list.size() != nBefore) {
        Sort();
        emit bookmarksChanged();
    }
}

int CBookmarks::Neighbour(qint64 nFrom, bool bForward, bool& bWrapped) const
{
    bWrapped = false;
    if (m_list.empty())
        return -1;
    if (bForward) {
        const auto it = std::find_if(m_list.begin(), m_list.end(),
                                     [nFrom](const CBookmark& mark) { return mark.nOffset > nFrom; });
        if (it != m_list.end())
            return int(it - m_list.begin());
        bWrapped = true;
        return 0;
    }
    const auto it = std::find_if(m_list.rbegin(), m_list.rend(),
                                 [nFrom](const CBookmark& mark) { return mark.nOffset < nFrom; });
    if (it != m_list.rend())
        return int(m_list.rend() - it) - 1;
    bWrapped = true;
    return Count() - 1;
}

void CBookmarks::ForEachIn(qint64 nFrom, qint64 nTo,
                           const std::function<void(const CBookmark&)>& fn) const
{
    for (const CBookmark& mark : m_list) {
        if (mark.nOffset >= nTo)
            break;
        if (mark.End() > nFrom)
            fn(mark);
    }
}

// Pieces are found by binary search, so a Replace All of many pieces costs each
// bookmark a logarithm, not a walk through them all.
void CBookmarks::Adjust(std::size_t nPieces, const std::function<qint64(std::size_t)>& at,
                        qint64 nRemove, qint64 nInsert, std::vector<CBookmark>* pTouched)
{
    if (m_list.empty() || nPieces == 0)
        return;
    const std::int64_t nGrowth = std::int64_t(nInsert) - nRemove;
    // How many pieces lie wholly before the point; an insert exactly at a
    // bookmark's start counts as before it, one at its end as after it.
    const auto piecesBefore = [&](std::int64_t nPoint, bool bEnd) {
        std::size_t lo = 0, hi = nPieces;
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            const std::int64_t nPieceEnd = std::int64_t(at(mid)) + nRemove;
            const bool bBefore = bEnd && nRemove == 0 ? nPieceEnd < nPoint : nPieceEnd <= nPoint;
            if (bBefore)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    // Where a point goes: moved by the pieces before it, or, inside a piece,
    // to as far into the new bytes as it stood in the old ones.
    const auto map = [&](std::int64_t nPoint, bool bEnd, std::size_t& k, bool& bInside) {
        k = piecesBefore(nPoint, bEnd);
        const std::int64_t nShift = std::int64_t(k) * nGrowth;
        bInside = false;
        if (k < nPieces) {
            const std::int64_t nAt = at(k);
            if (nAt < nPoint && nPoint < nAt + nRemove) {
                bInside = true;
                return nAt + nShift + std::min<std::int64_t>(nPoint - nAt, nInsert);
            }
        }
        return nPoint + nShift;
    };

    bool bChanged = false;
    std::vector<CBookmark> kept;
    kept.reserve(m_list.size());
    for (const CBookmark& mark : m_list) {
        std::size_t kStart = 0, kEnd = 0;
        bool bStartInside = false, bEndInside = false;
        const std::int64_t nStart = map(mark.nOffset, false, kStart, bStartInside);
        const std::int64_t nEnd = map(mark.End(), true, kEnd, bEndInside);
        const bool bTouched = bStartInside || bEndInside || kStart != kEnd;
        if (bTouched && pTouched)
            pTouched->push_back(mark);
        if (nStart != mark.nOffset || nEnd != mark.End())
            bChanged = true;
        if (nEnd <= nStart) {
            bChanged = true;
            continue;
        }
        CBookmark moved = mark;
        moved.nOffset = nStart;
        moved.nLength = nEnd - nStart;
        kept.push_back(std::move(moved));
    }
    if (!bChanged)
        return;
    m_list = std::move(kept);
    Sort();
    emit bookmarksChanged();
}

void CBookmarks::Restore(const std::vector<CBookmark>& saved)
{
    if (saved.empty())
        return;
    for (const CBookmark& old : saved) {
        const auto it = std::find_if(m_list.begin(), m_list.end(),
                                     [&old](const CBookmark& mark) { return mark.nId == old.nId; });
        if (it == m_list.end()) {
            m_list.push_back(old);
        } else {
            it->nOffset = old.nOffset;
            it->nLength = old.nLength;
        }
    }
    Sort();
    emit bookmarksChanged();
}

QString CBookmarks::ToText() const
{
    QString text;
    for (const CBookmark& mark : m_list) {
        text += QString::number(mark.nOffset, 16).toUpper() + QLatin1Char(' ')
                + QString::number(mark.nLength, 16).toUpper() + QLatin1Char(' ') + mark.strName + QLatin1Char('\n');
    }
    return text;
}

bool CBookmarks::FromText(const QString& text, qint64 nLength, std::vector<CBookmark>& out, int& nBadLine)
{
    std::vector<CBookmark> list;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const QStringList fields = line.split(QLatin1Char(' '));
        bool bOffset = false, bLength = false;
        const qulonglong nOffset = fields.size() >= 2 ? fields[0].toULongLong(&bOffset, 16) : 0;
        const qulonglong nCount = fields.size() >= 2 ? fields[1].toULongLong(&bLength, 16) : 0;
        // Compared without a sum, which digits enough would wrap round.
        if (!bOffset || !bLength || nCount == 0 || nOffset > qulonglong(nLength)
            || nCount > qulonglong(nLength) - nOffset) {
            nBadLine = n + 1;
            return false;
        }
        const QString name = line.section(QLatin1Char(' '), 2);
        list.push_back({qint64(nOffset), qint64(nCount), name, 0});
    }
    out = std::move(list);
    return true;
}

std::vector<CBookmark> CBookmarks::Load(const CSettingsProfile& profile, const QString& canonicalPath,
                                        qint64 nLength)
{
    const QString stored = AfxFileNameToProfile(canonicalPath);
    for (int i = 1; i <= kMaxFiles; ++i) {
        const QString path = profile.GetProfileString(kSection, FileEntry(i));
        if (path.isEmpty())
            break;
        if (path != stored)
            continue;
        std::vector<CBookmark> list;
        int nBadLine = 0;
        // The file may have changed since: what no longer fits is dropped whole.
        if (!FromText(profile.GetProfileString(kSection, MarksEntry(i)), nLength, list, nBadLine))
            list.clear();
        return list;
    }
    return {};
}

// The file stored last comes first; the oldest fall off past kMaxFiles.
void CBookmarks::Store(CSettingsProfile& profile, const QString& canonicalPath, const CBookmarks& marks)
{
    const QString stored = AfxFileNameToProfile(canonicalPath);
    QStringList paths, texts;
    if (!marks.IsEmpty()) {
        CBookmarks first;
        first.m_list.assign(marks.m_list.begin(),
                            marks.m_list.begin() + std::min<std::ptrdiff_t>(kMaxKept, marks.Count()));
        paths << stored;
        texts << first.ToText();
    }
    int nStored = 0;
    for (int i = 1; i <= kMaxFiles; ++i) {
        const QString path = profile.GetProfileString(kSection, FileEntry(i));
        if (path.isEmpty())
            break;
        nStored = i;
        if (path != stored && paths.size() < kMaxFiles) {
            paths << path;
            texts << profile.GetProfileString(kSection, MarksEntry(i));
        }
    }
    for (int i = 0; i < paths.size(); ++i) {
        profile.WriteProfileString(kSection, FileEntry(i + 1), paths[i]);
        profile.WriteProfileString(kSection, MarksEntry(i + 1), texts[i]);
    }
    for (int i = int(paths.size()) + 1; i <= nStored; ++i) {
        profile.RemoveProfileValue(kSection, FileEntry(i));
        profile.RemoveProfileValue(kSection, MarksEntry(i));
    }
}

void CBookmarks::Sort()
{
    std::stable_sort(m_list.begin(), m_list.end(), [](const CBookmark& a, const CBookmark& b) {
        return a.nOffset != b.nOffset ? a.nOffset < b.nOffset : a.nLength < b.nLength;
    });
}
