#include "stringsmodel.h"

#include "hexdoc.h"
#include "resource.h"
#include "resources.h"


#include <algorithm>

CStringsModel::CStringsModel(QObject* pParent) : QAbstractTableModel(pParent)
{
    m_published.start();
    m_filterTimer.setInterval(0);
    connect(&m_filterTimer, &QTimer::timeout, this, [this] { FilterSlice(20); });
}

CStringsModel::~CStringsModel() = default;

int CStringsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nRows;
}

int CStringsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CStringsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    if (role == Qt::TextAlignmentRole && index.column() != TextColumn)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return QVariant();
    const CRun& run = RunAt(RunOfRow(index.row()));
    switch (index.column()) {
    case OffsetColumn:
        return QStringLiteral("%1").arg(qulonglong(run.nOffset), 8, 16, QLatin1Char('0')).toUpper();
    case LengthColumn:
        return uint(run.nLength);
    default:
        return QString::fromStdString(TextOf(run));
    }
}

QVariant CStringsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const unsigned kHeaders[] = {IDS_STRINGS_OFFSET, IDS_STRINGS_LENGTH, IDS_STRINGS_TEXT};
    return section >= 0 && section < ColumnCount ? AfxLoadString(kHeaders[section]) : QVariant();
}

std::string CStringsModel::TextOf(const CRun& run) const
{
    if (!m_pDoc || qint64(run.nOffset) + qint64(run.nLength) > m_pDoc->Length())
        return std::string();
    // Made when a text is first shown: a document opened with the panel
    // hidden does not wait for the code page's tables.
    if (!m_pDecoder) {
        m_pDecoder = std::make_unique<CStringScanner>(m_pDoc->GetCodePage(), 1);
        m_pDecoder->UseTable(m_pDoc->ShareCharTable());
    }
    QByteArray hold;
    const std::uint8_t* p = m_pDoc->Span(qint64(run.nOffset), qint64(run.nLength), hold);
    return p ? m_pDecoder->RunText(p, std::uint32_t(run.nLength)) : std::string();
}

CTextRun CStringsModel::Run(int nRow) const
{
    const CRun& run = RunAt(RunOfRow(nRow));
    return CTextRun{run.nOffset, std::uint32_t(run.nLength), TextOf(run)};
}

void CStringsModel::Reset(CHexDoc* pDoc)
{
    Clear();
    m_pDoc = pDoc;
    m_pDecoder.reset();
}

void CStringsModel::Clear()
{
    beginResetModel();
    std::deque<CRun>().swap(m_runs);
    std::deque<int>().swap(m_matches);
    m_nTested = 0;
    m_nRows = 0;
    m_filterTimer.stop();
    endResetModel();
}

bool CStringsModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && Listed() > m_nRows;
}

void CStringsModel::fetchMore(const QModelIndex& parent)
{
    if (!parent.isValid())
        ShowRows(Listed());
}

void CStringsModel::Publish(bool bNow)
{
    if (!(bNow || m_nRows == 0 || m_published.elapsed() >= kPublishInterval))
        return;
    if (m_nRows < kEagerRows)
        ShowRows(std::min(Listed(), kEagerRows));
}

void CStringsModel::ShowRows(int nRows)
{
    if (nRows <= m_nRows)
        return;
    beginInsertRows(QModelIndex(), m_nRows, nRows - 1);
    m_nRows = nRows;
    endInsertRows();
    m_published.start();
}

void CStringsModel::Append(const std::vector<CTextRun>& runs)
{
    if (runs.empty())
        return;
    for (const CTextRun& run : runs)
        m_runs.push_back(CRun{run.nOffset, run.nLength});
    if (m_filter.isEmpty())
        Publish(false);
    else
        m_filterTimer.start();
}

void CStringsModel::Splice(int nFirst, int nCount, const std::vector<CTextRun>& runs, std::int64_t nShift)
{
    // Every run is a row from here on: the rows below count on it.
    ShowRows(Listed());
    const int nNew = int(runs.size());
    const int nDelta = nNew - nCount;
    std::vector<CRun> fresh;
    fresh.reserve(runs.size());
    for (const CTextRun& run : runs)
        fresh.push_back(CRun{run.nOffset, run.nLength});
    const auto first = m_runs.begin() + nFirst;
    const bool bFiltered = !m_filter.isEmpty();
    if (!bFiltered && nNew == nCount) {
        std::copy(fresh.begin(), fresh.end(), first);
        if (nNew)
            emit dataChanged(index(nFirst, 0), index(nFirst + nNew - 1, ColumnCount - 1));
    } else if (!bFiltered) {
        if (nCount) {
            beginRemoveRows(QModelIndex(), nFirst, nFirst + nCount - 1);
            m_runs.erase(first, first + nCount);
            m_nRows -= nCount;
            endRemoveRows();
        }
        if (nNew) {
            beginInsertRows(QModelIndex(), nFirst, nFirst + nNew - 1);
            m_runs.insert(m_runs.begin() + nFirst, fresh.begin(), fresh.end());
            m_nRows += nNew;
            endInsertRows();
        }
    } else {
        // The rows of the runs replaced go, the rows of the new runs that
        // match come in their place, and the rows after them stay, pointing
        // at their runs' new places.
        const auto matchFrom = [this](int nRun) {
            return int(std::lower_bound(m_matches.begin(), m_matches.end(), nRun) - m_matches.begin());
        };
        const int nRowFirst = matchFrom(nFirst);
        const int nRowEnd = matchFrom(nFirst + nCount);
        if (nRowEnd > nRowFirst) {
            beginRemoveRows(QModelIndex(), nRowFirst, nRowEnd - 1);
            m_matches.erase(m_matches.begin() + nRowFirst, m_matches.begin() + nRowEnd);
            m_nRows -= nRowEnd - nRowFirst;
            endRemoveRows();
        }
        m_runs.erase(m_runs.begin() + nFirst, m_runs.begin() + nFirst + nCount);
        m_runs.insert(m_runs.begin() + nFirst, fresh.begin(), fresh.end());
        for (auto it = m_matches.begin() + nRowFirst; it != m_matches.end(); ++it)
            *it += nDelta;
        if (m_nTested > nFirst) {
            // Runs the filter had reached: the new ones are matched now, the
            // ones after them keep what they were.
            std::vector<int> found;
            for (int r = nFirst; r < nFirst + nNew; ++r) {
                if (Matches(m_runs[std::size_t(r)]))
                    found.push_back(r);
            }
            m_nTested = std::max(nFirst + nNew, m_nTested + nDelta);
            if (!found.empty()) {
                beginInsertRows(QModelIndex(), nRowFirst, nRowFirst + int(found.size()) - 1);
                m_matches.insert(m_matches.begin() + nRowFirst, found.begin(), found.end());
                m_nRows += int(found.size());
                endInsertRows();
            }
        }
    }
    const int nFrom = nFirst + nNew;
    if (nShift == 0 || nFrom >= RunCount())
        return;
    for (auto it = m_runs.begin() + nFrom; it != m_runs.end(); ++it)
        it->nOffset = std::uint64_t(std::int64_t(it->nOffset) + nShift);
    // Only the offsets changed, which nothing filters on.
    const int nRowFrom = bFiltered ? int(std::lower_bound(m_matches.begin(), m_matches.end(), nFrom) - m_matches.begin())
                                   : nFrom;
    if (nRowFrom < rowCount())
        emit dataChanged(index(nRowFrom, OffsetColumn), index(rowCount() - 1, OffsetColumn), {Qt::DisplayRole});
}

int CStringsModel::FirstRunFrom(std::uint64_t nOffset) const
{
    const auto it = std::lower_bound(m_runs.begin(), m_runs.end(), nOffset,
                                     [](const CRun& run, std::uint64_t n) { return run.nOffset < n; });
    return int(it - m_runs.begin());
}

void CStringsModel::SetFilter(const QString& text)
{
    if (text == m_filter)
        return;
    beginResetModel();
    m_filter = text;
    std::deque<int>().swap(m_matches);
    m_nTested = 0;
    m_nRows = m_filter.isEmpty() ? std::min(RunCount(), kEagerRows) : 0;
    m_filterTimer.stop();
    endResetModel();
    // A short list is filtered at once; a long one goes on between events.
    if (!m_filter.isEmpty())
        FilterSlice(20);
}

void CStringsModel::FinishFilter()
{
    while (IsFiltering())
        FilterSlice(1000);
}

bool CStringsModel::Matches(const CRun& run) const
{
    return QString::fromStdString(TextOf(run)).contains(m_filter, Qt::CaseInsensitive);
}

void CStringsModel::FilterSlice(int nMilliseconds)
{
    QElapsedTimer clock;
    clock.start();
    std::vector<int> found;
    const int nEnd = RunCount();
    while (m_nTested < nEnd) {
        const int nStop = std::min(nEnd, m_nTested + 1024);
        for (; m_nTested < nStop; ++m_nTested) {
            if (Matches(m_runs[std::size_t(m_nTested)]))
                found.push_back(m_nTested);
        }
        if (clock.elapsed() >= nMilliseconds)
            break;
    }
    m_matches.insert(m_matches.end(), found.begin(), found.end());
    Publish(m_nTested >= RunCount());
    if (m_nTested < RunCount())
        m_filterTimer.start();
    else
        m_filterTimer.stop();
    emit filterProgressed();
}
