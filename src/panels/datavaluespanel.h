#pragma once

#include "datavalue.h"

#include <QDockWidget>
#include <QPointer>

class CHexDoc;
class CHexView;
class QCheckBox;
class QTableWidget;
class QTableWidgetItem;

// The Data Inspector: a dock panel with a two-column table (type, value) of
// the bytes at the caret of one document window, read as numbers, a time and
// characters (see CDataType), in the byte order and integer base its two
// switches choose. It follows the window's view by caretMoved and the
// document by bytesChanged, codePageChanged and reloaded, so every caret move
// and every edit, from any window of the document, shows at once.
//
// A value typed into a row is written over the bytes at the caret as one step
// of the document's history (CHexDoc::ReplaceBytes, never an insertion); a
// value the type cannot take is refused with a message naming the range, and
// nothing is written. Esc in the table gives the focus back to the rows.
class CDataValuesPanel : public QDockWidget {
    Q_OBJECT

public:
    explicit CDataValuesPanel(QWidget* pParent = nullptr);

    // The document window to follow; nullptr empties the table.
    void SetView(CHexView* pView);
    CHexView* View() const;

    bool IsBigEndian() const;
    void SetBigEndian(bool bBigEndian);
    bool IsHex() const;
    void SetHex(bool bHex);

    QTableWidget* Table() const { return m_pTable; }
    // The row of a type in the table.
    static int RowOf(CDataType type);
    // Shows the panel and puts the focus into the table.
    void ShowAndFocus();

signals:
    void formatChanged();

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;
    // Keys the panel's widgets leave stop here: passed on to the main window
    // they would reach its accelerators, and Delete would delete bytes.
    void keyPressEvent(QKeyEvent* pEvent) override;
    void showEvent(QShowEvent* pEvent) override;

private:
    void Refresh();
    void OnCaretMoved(qint64 nCaret);
    void OnItemChanged(QTableWidgetItem* pItem);
    void Write(CDataType type, const QString& text);
    CDataFormat Format() const;

    QTableWidget* m_pTable;
    QCheckBox* m_pBigEndian;
    QCheckBox* m_pHex;
    QPointer<CHexView> m_pView;
    QPointer<CHexDoc> m_pDoc;
    QList<QMetaObject::Connection> m_connections;
    qint64 m_nCaret = 0;
    bool m_bFilling = false;
};
