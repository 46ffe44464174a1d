#pragma once

#include "stringscan.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <memory>
#include <vector>

class CHexDoc;

// The runs of text the Strings panel lists: offset, length in bytes, text.
// Runs come in batches as the scan goes on. A run is kept as its offset and
// length only, eight bytes: its text is made again from the document's bytes
// when a view asks for it, so a list of tens of millions of runs costs a few
// hundred MiB. The list must therefore always describe the document as it is
// now: whoever changes the document mends the list (Splice) or clears it.
//
// The model filters by itself: with a filter set, its rows are the runs whose
// text holds the filter (case aside), found a slice at a time between events
// and added at the end of the rows, so neither a long list nor a filter over
// it holds up the window, and a batch of runs costs only its own rows.
//
// A table view still spends time on every row it lists each time rows are
// added (its row header places all its rows again), so runs or matches that
// come while a list grows are shown at most every kPublishInterval
// milliseconds, or when Publish is asked to, and only the first kEagerRows of
// them: the rest wait until the view scrolls to its last row and fetches them
// (fetchMore), so that adding rows never costs more than kEagerRows however
// long the list grows. Listed() counts them all.
class CStringsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { OffsetColumn, LengthColumn, TextColumn, ColumnCount };

    // Eight bytes a run, as many as there may be tens of millions of: offsets
    // up to 128 TiB, lengths up to CStringScanner::kMaxRunBytes.
    struct CRun {
        std::uint64_t nOffset : 47;
        std::uint64_t nLength : 17;
    };

    static constexpr int kPublishInterval = 500;
    static constexpr int kEagerRows = 1 << 20;

    explicit CStringsModel(QObject* pParent = nullptr);
    ~CStringsModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    // Shows every row listed so far.
    void fetchMore(const QModelIndex& parent) override;

    // Empties the list; the runs that come next are of pDoc in its code page.
    void Reset(CHexDoc* pDoc);
    void Clear();
    void Append(const std::vector<CTextRun>& runs);
    // Replaces the nCount runs from nFirst on by runs, and moves the offsets
    // of the runs after them by nShift bytes. Rows that stay keep their place
    // in the views (selection and scrolling).
    void Splice(int nFirst, int nCount, const std::vector<CTextRun>& runs, std::int64_t nShift);

    // Shows the runs or matches not shown yet, up to kEagerRows rows: now if
    // bNow, else if the last rows were added kPublishInterval ago or none are
    // shown.
    void Publish(bool bNow);
    // The rows there are to show, shown or not.
    int Listed() const { return m_filter.isEmpty() ? RunCount() : int(m_matches.size()); }

    // Lists only the runs whose text holds text, ignoring case (all: empty).
    void SetFilter(const QString& text);
    // True while runs listed are still to be matched against the filter.
    bool IsFiltering() const { return !m_filter.isEmpty() && m_nTested < RunCount(); }
    // Matches the rest of the runs now.
    void FinishFilter();

    int RunCount() const { return int(m_runs.size()); }
    const CRun& RunAt(int nRun) const { return m_runs[std::size_t(nRun)]; }
    // The run a row shows, and its text.
    int RunOfRow(int nRow) const { return m_filter.isEmpty() ? nRow : m_matches[std::size_t(nRow)]; }
    CTextRun Run(int nRow) const;
    // The first run that starts at nOffset or later (RunCount() if none).
    int FirstRunFrom(std::uint64_t nOffset) const;

signals:
    void filterProgressed();

private:
    std::string TextOf(const CRun& run) const;
    bool Matches(const CRun& run) const;
    // Shows the rows from m_nRows to nRows.
    void ShowRows(int nRows);
    // Matches runs from m_nTested on for about nMilliseconds, adding rows.
    void FilterSlice(int nMilliseconds);

    // A deque: a list of millions of runs grows without moving them all.
    std::deque<CRun> m_runs;
    QPointer<CHexDoc> m_pDoc;
    // Makes a run's text again, in the document's code page; made when first
    // needed and dropped by Reset. Used only on the interface's thread.
    mutable std::unique_ptr<CStringScanner> m_pDecoder;

    QString m_filter;
    std::deque<int> m_matches;   // the runs that hold the filter, in order
    int m_nTested = 0;           // the runs before this one are matched
    int m_nRows = 0;             // the rows the views know of
    QElapsedTimer m_published;   // since rows were last added
    QTimer m_filterTimer;
};
