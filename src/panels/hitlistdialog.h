#pragma once

#include <QDialog>
#include <QPointer>

#include <cstdint>
#include <functional>

class CHexDoc;
class CHexView;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItem;
class QStandardItemModel;
class QTableView;

// A search that lists every hit (Find in All Encodings, Relative Search): a
// text box, a Find button, the hits as rows of a table and a line under it.
// Enter or a double-click on a row selects the hit's bytes in the rows of the
// view given. The search runs as a long task (CLongTask), with its progress in
// the status bar and Esc to stop it; what was found until then stays listed.
// A subclass adds its options and buttons, its columns and the scan itself.
//
// The dialog is a window of its own, so the main window's accelerators do not
// reach its text box; it follows the active view through SetView.
class CHitListDialog : public QDialog {
    Q_OBJECT

public:
    // At most this many hits are listed; the search stops there.
    static constexpr int kMaxHits = 10000;

    void SetView(CHexView* pView);
    CHexView* View() const;

    QLineEdit* TextBox() const { return m_pText; }
    QTableView* Table() const { return m_pTable; }
    QLabel* Status() const { return m_pStatus; }
    // Searches for what the text box holds.
    void Find();

protected:
    CHitListDialog(unsigned nTextLabel, const QStringList& columns, QWidget* pParent);

    // The row for the layout's options and buttons, right of the Find button.
    QHBoxLayout* Options() const { return m_pOptions; }
    QStandardItemModel* Model() const { return m_pModel; }
    // The hit of the current row: its offset in Qt::UserRole, its length in
    // UserRole + 1; false without one.
    bool CurrentHit(std::uint64_t& nOffset, int& nRow) const;
    void ShowStatus(const QString& text);

    // Runs the search for text over the document's bytes: returns false with
    // a message for a text it cannot search, else calls ScanDocument.
    virtual bool Search(const QString& text, const CHexDoc& doc) = 0;

    // The scan over the document in parts, as a long task: scan gets the bytes
    // held, their offset and whether they are the last, and returns what it is
    // done with (see CMultiPattern::Scan). Returns false when Esc stopped it
    // or it listed kMaxHits.
    using ScanPart = std::function<std::uint32_t(const std::uint8_t*, std::uint32_t, std::uint64_t, bool)>;
    bool ScanDocument(const CHexDoc& doc, const ScanPart& scan);
    // Adds a row for a hit of nLength bytes at nOffset; the offset's cell is
    // made here, the others come in cells.
    void AddHit(std::uint64_t nOffset, std::uint32_t nLength, QList<QStandardItem*> cells);

    bool eventFilter(QObject* pObject, QEvent* pEvent) override;

private:
    void SelectHit(const QModelIndex& index);
    void ClearHits();

    QLineEdit* m_pText;
    QPushButton* m_pFind;
    QHBoxLayout* m_pOptions;
    QTableView* m_pTable;
    QStandardItemModel* m_pModel;
    QLabel* m_pStatus;
    QPointer<CHexView> m_pView;
    // The document the hits are in; it may go before the dialog does.
    QPointer<CHexDoc> m_pDoc;
};
