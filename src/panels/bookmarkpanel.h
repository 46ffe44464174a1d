#pragma once

#include <QDockWidget>
#include <QPointer>

#include <cstdint>

class CHexDoc;
class CHexView;
class QPushButton;
class QTableWidget;

// The list of the active document's bookmarks, a dock panel beside the rows:
// offset, length, name (edited in place) and the first bytes as the text
// column shows them. Enter or a double-click selects the bookmark in the view
// and gives the view the focus; Delete removes the selected bookmarks;
// Export... and Import... write and read them as a text file.
//
// It follows one view and that view's document through their public signals
// and accessors only, so it works without a main window; the main frame hands
// it the active document window's view (SetView), or null when there is none.
class CBookmarkPanel : public QDockWidget {
    Q_OBJECT

public:
    explicit CBookmarkPanel(QWidget* pParent = nullptr);

    void SetView(CHexView* pView);
    CHexView* View() const;
    QTableWidget* Table() const { return m_pTable; }

    // The list's columns.
    enum Column { kOffset, kLength, kName, kBytes, kColumns };
    // How many bytes the Bytes column shows at most: a row's worth.
    static constexpr std::uint32_t kPreviewBytes = 16;

    // Write or read the document's bookmarks as text (CBookmarks::ToText). A
    // failure, or a line that is no bookmark of this document, is told in a
    // message and changes nothing: an import replaces the bookmarks only
    // when every line was read.
    bool ExportTo(const QString& path);
    bool ImportFrom(const QString& path);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void Rebuild();
    QString Preview(qint64 nOffset, qint64 nLength) const;
    void GoTo(int nRow);
    void RemoveSelected();
    void OnNameEdited(int nRow, int nColumn);
    void OnExport();
    void OnImport();
    void UpdateButtons();

    QPointer<CHexView> m_pView;
    QPointer<CHexDoc> m_pDoc;
    QTableWidget* m_pTable;
    QPushButton* m_pDelete;
    QPushButton* m_pExport;
    QPushButton* m_pImport;
    bool m_bRebuilding = false;
};
