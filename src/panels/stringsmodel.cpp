#include "stringsmodel.h"

#include "resource.h"
#include "resources.h"

#include <algorithm>

int CStringsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_runs.size());
}

int CStringsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CStringsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const CTextRun& run = m_runs[std::size_t(index.row())];
    if (role == Qt::TextAlignmentRole && index.column() != TextColumn)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return QVariant();
    switch (index.column()) {
    case OffsetColumn:
        return QStringLiteral("%1").arg(run.nOffset, 8, 16, QLatin1Char('0')).toUpper();
    case LengthColumn:
        return run.nLength;
    default:
        return QString::fromStdString(run.text);
    }
}

QVariant CStringsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const unsigned kHeaders[] = {IDS_STRINGS_OFFSET, IDS_STRINGS_LENGTH, IDS_STRINGS_TEXT};
    return section >= 0 && section < ColumnCount ? AfxLoadString(kHeaders[section]) : QVariant();
}

void CStringsModel::Clear()
{
    beginResetModel();
    std::deque<CTextRun>().swap(m_runs);
    endResetModel();
}

void CStringsModel::Append(std::vector<CTextRun>&& runs)
{
    if (runs.empty())
        return;
    const int nFirst = rowCount();
    beginInsertRows(QModelIndex(), nFirst, nFirst + int(runs.size()) - 1);
    m_runs.insert(m_runs.end(), std::make_move_iterator(runs.begin()), std::make_move_iterator(runs.end()));
    endInsertRows();
}

void CStringsModel::Splice(int nFirst, int nCount, std::vector<CTextRun>&& runs, std::int64_t nShift)
{
    const auto first = m_runs.begin() + nFirst;
    const int nNew = int(runs.size());
    if (nNew == nCount) {
        std::move(runs.begin(), runs.end(), first);
        if (nNew)
            emit dataChanged(index(nFirst, 0), index(nFirst + nNew - 1, ColumnCount - 1));
    } else {
        if (nCount) {
            beginRemoveRows(QModelIndex(), nFirst, nFirst + nCount - 1);
            m_runs.erase(first, first + nCount);
            endRemoveRows();
        }
        if (nNew) {
            beginInsertRows(QModelIndex(), nFirst, nFirst + nNew - 1);
            m_runs.insert(m_runs.begin() + nFirst, std::make_move_iterator(runs.begin()),
                          std::make_move_iterator(runs.end()));
            endInsertRows();
        }
    }
    const int nFrom = nFirst + nNew;
    if (nShift == 0 || nFrom >= rowCount())
        return;
    for (auto it = m_runs.begin() + nFrom; it != m_runs.end(); ++it)
        it->nOffset = std::uint64_t(std::int64_t(it->nOffset) + nShift);
    // Only the offsets changed, which nothing filters or sorts on.
    emit dataChanged(index(nFrom, OffsetColumn), index(rowCount() - 1, OffsetColumn), {Qt::DisplayRole});
}

int CStringsModel::FirstRunFrom(std::uint64_t nOffset) const
{
    const auto it = std::lower_bound(m_runs.begin(), m_runs.end(), nOffset,
                                     [](const CTextRun& run, std::uint64_t n) { return run.nOffset < n; });
    return int(it - m_runs.begin());
}
