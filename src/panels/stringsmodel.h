#pragma once

#include "stringscan.h"

#include <QAbstractTableModel>

#include <deque>
#include <vector>

// The runs of text the Strings panel lists: offset, length in bytes, text.
// Runs come in batches as the scan goes on and are kept as the scanner gives
// them (UTF-8); a row's text is made when a view asks for it.
class CStringsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { OffsetColumn, LengthColumn, TextColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void Clear();
    void Append(std::vector<CTextRun>&& runs);
    // Replaces the nCount runs from nFirst on by runs, and moves the offsets
    // of the runs after them by nShift bytes. Rows that stay keep their place
    // in the views (selection and scrolling).
    void Splice(int nFirst, int nCount, std::vector<CTextRun>&& runs, std::int64_t nShift);
    const CTextRun& Run(int nRow) const { return m_runs[std::size_t(nRow)]; }
    const std::deque<CTextRun>& Runs() const { return m_runs; }
    // The first row whose run starts at nOffset or later (rowCount() if none).
    int FirstRunFrom(std::uint64_t nOffset) const;

private:
    // A deque: a list of millions of runs grows without moving them all.
    std::deque<CTextRun> m_runs;
};
