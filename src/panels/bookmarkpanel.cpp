#include "bookmarkpanel.h"

#include "afxmsg.h"
#include "diskfile.h"
#include "fileexception.h"
#include "hexdoc.h"
#include "hexview.h"
#include "resource.h"
#include "resources.h"
#include "rowformat.h"
#include "textdecoder.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A bookmark file is a few lines a bookmark; more than this is no such file.
constexpr qint64 kMaxImport = 16 << 20;

} // namespace

CBookmarkPanel::CBookmarkPanel(QWidget* pParent)
    : QDockWidget(AfxLoadString(IDS_BOOKMARKS_TITLE), pParent)
{
    setObjectName(QStringLiteral("bookmarks"));
    auto* pBody = new QWidget(this);
    m_pTable = new QTableWidget(0, kColumns, pBody);
    m_pTable->setHorizontalHeaderLabels({AfxLoadString(IDS_BOOKMARK_OFFSET), AfxLoadString(IDS_BOOKMARK_LENGTH),
                                         AfxLoadString(IDS_BOOKMARK_NAME), AfxLoadString(IDS_BOOKMARK_BYTES)});
    m_pTable->setAccessibleName(windowTitle());
    m_pTable->verticalHeader()->hide();
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_pTable->setWordWrap(false);
    m_pTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->installEventFilter(this);

    m_pDelete = new QPushButton(AfxLoadString(IDS_BOOKMARK_DELETE), pBody);
    m_pExport = new QPushButton(AfxLoadString(IDS_BOOKMARK_EXPORT), pBody);
    m_pImport = new QPushButton(AfxLoadString(IDS_BOOKMARK_IMPORT), pBody);
    auto* pButtons = new QHBoxLayout;
    pButtons->addWidget(m_pDelete);
    pButtons->addStretch();
    pButtons->addWidget(m_pExport);
    pButtons->addWidget(m_pImport);
    auto* pLayout = new QVBoxLayout(pBody);
    pLayout->setContentsMargins(2, 2, 2, 2);
    pLayout->addWidget(m_pTable);
    pLayout->addLayout(pButtons);
    setWidget(pBody);

    connect(m_pTable, &QTableWidget::itemActivated, this, [this](QTableWidgetItem* pItem) { GoTo(pItem->row()); });
    connect(m_pTable, &QTableWidget::cellChanged, this, &CBookmarkPanel::OnNameEdited);
    connect(m_pTable, &QTableWidget::itemSelectionChanged, this, &CBookmarkPanel::UpdateButtons);
    connect(m_pDelete, &QPushButton::clicked, this, &CBookmarkPanel::RemoveSelected);
    connect(m_pExport, &QPushButton::clicked, this, &CBookmarkPanel::OnExport);
    connect(m_pImport, &QPushButton::clicked, this, &CBookmarkPanel::OnImport);
    UpdateButtons();
}

void CBookmarkPanel::SetView(CHexView* pView)
{
    CHexDoc* pDoc = pView ? pView->GetDocument() : nullptr;
    if (pView == m_pView && pDoc == m_pDoc)
        return;
    if (m_pDoc) {
        disconnect(m_pDoc, nullptr, this, nullptr);
        disconnect(&m_pDoc->Bookmarks(), nullptr, this, nullptr);
    }
    m_pView = pView;
    m_pDoc = pDoc;
    if (pDoc) {
        connect(&pDoc->Bookmarks(), &CBookmarks::bookmarksChanged, this, &CBookmarkPanel::Rebuild);
        connect(pDoc, &CHexDoc::bytesChanged, this, &CBookmarkPanel::Rebuild);
        connect(pDoc, &CHexDoc::codePageChanged, this, &CBookmarkPanel::Rebuild);
        connect(pDoc, &CHexDoc::reloaded, this, &CBookmarkPanel::Rebuild);
    }
    Rebuild();
}

CHexView* CBookmarkPanel::View() const
{
    return m_pView;
}

// Rebuilt whole on every change: the list holds what a person marked by hand.
// The selected row stays selected by its place.
void CBookmarkPanel::Rebuild()
{
    const int nCurrent = m_pTable->currentRow();
    m_bRebuilding = true;
    const int nRows = m_pDoc ? m_pDoc->Bookmarks().Count() : 0;
    m_pTable->setRowCount(nRows);
    for (int i = 0; i < nRows; ++i) {
        const CBookmark& mark = m_pDoc->Bookmarks().At(i);
        const QString texts[kColumns] = {QString::number(mark.nOffset, 16).toUpper().rightJustified(8, '0'),
                                         QString::number(mark.nLength), mark.strName,
                                         Preview(mark.nOffset, mark.nLength)};
        for (int c = 0; c < kColumns; ++c) {
            QTableWidgetItem* pItem = m_pTable->item(i, c);
            if (!pItem) {
                pItem = new QTableWidgetItem;
                m_pTable->setItem(i, c, pItem);
            }
            pItem->setText(texts[c]);
            pItem->setFlags(c == kName ? pItem->flags() | Qt::ItemIsEditable : pItem->flags() & ~Qt::ItemIsEditable);
        }
    }
    if (nRows > 0 && nCurrent >= 0)
        m_pTable->setCurrentCell(std::min(nCurrent, nRows - 1), m_pTable->currentColumn());
    m_bRebuilding = false;
    setEnabled(m_pDoc != nullptr);
    UpdateButtons();
}

// The bytes as the text column would show them in a row starting at the
// bookmark: the same rules make the same characters and the same dots.
QString CBookmarkPanel::Preview(qint64 nOffset, qint64 nLength) const
{
    std::uint8_t hex[CRowFormat::kMaxTextLength];
    char text[CRowFormat::kMaxTextLength];
    const std::uint32_t n = m_pDoc->GetRowText(nOffset, hex, text, false);
    const int nShown = int(std::min<qint64>(nLength, kPreviewBytes));
    QString preview;
    CTextDecoder(m_pDoc->GetCodePage()).ForEachChar(text, int(n), [&](int nCell, int, char32_t ch) {
        if (nCell < nShown)
            preview += QString::fromUcs4(&ch, 1);
    });
    return nLength > kPreviewBytes ? preview + QChar(0x2026) : preview;
}

void CBookmarkPanel::GoTo(int nRow)
{
    if (!m_pView || !m_pDoc || nRow < 0 || nRow >= m_pDoc->Bookmarks().Count())
        return;
    const CBookmark& mark = m_pDoc->Bookmarks().At(nRow);
    m_pView->SelectAndShow(mark.nOffset, mark.End());
    m_pView->setFocus();
}

void CBookmarkPanel::RemoveSelected()
{
    if (!m_pDoc)
        return;
    QList<int> rows;
    for (const QModelIndex& index : m_pTable->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int nRow : rows)
        m_pDoc->Bookmarks().RemoveAt(nRow);
}

void CBookmarkPanel::OnNameEdited(int nRow, int nColumn)
{
    if (m_bRebuilding || !m_pDoc || nColumn != kName)
        return;
    m_pDoc->Bookmarks().Rename(nRow, m_pTable->item(nRow, nColumn)->text());
}

void CBookmarkPanel::UpdateButtons()
{
    const bool bMarks = m_pDoc && !m_pDoc->Bookmarks().IsEmpty();
    m_pDelete->setEnabled(bMarks && m_pTable->selectionModel()->hasSelection());
    m_pExport->setEnabled(bMarks);
    m_pImport->setEnabled(m_pDoc != nullptr);
}

bool CBookmarkPanel::ExportTo(const QString& path)
{
    if (!m_pDoc)
        return false;
    const QByteArray text = m_pDoc->Bookmarks().ToText().toUtf8();
    try {
        AfxWriteFileSafely(path, [&](QFileDevice& file) {
            if (file.write(text) != text.size())
                throw CFileException::FromDevice(file, path);
        });
    } catch (const CFileException& e) {
        AfxMessageBox(AfxLoadString(IDS_BOOKMARK_WRITE_FAILED).arg(path, e.GetErrorMessage()), MB_OK | MB_ICONSTOP);
        return false;
    }
    return true;
}

bool CBookmarkPanel::ImportFrom(const QString& path)
{
    if (!m_pDoc)
        return false;
    QByteArray bytes;
    try {
        bytes = AfxReadRegularFile(path, kMaxImport);
    } catch (const CFileException& e) {
        AfxMessageBox(AfxLoadString(IDS_BOOKMARK_READ_FAILED).arg(path, e.GetErrorMessage()), MB_OK | MB_ICONSTOP);
        return false;
    }
    std::vector<CBookmark> list;
    int nBadLine = 0;
    if (!CBookmarks::FromText(QString::fromUtf8(bytes), m_pDoc->Length(), list, nBadLine)) {
        AfxMessageBox(AfxLoadString(IDS_BOOKMARK_BAD_LINE).arg(QString::number(nBadLine), path),
                      MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    m_pDoc->Bookmarks().SetAll(std::move(list));
    return true;
}

void CBookmarkPanel::OnExport()
{
    const QString path = QFileDialog::getSaveFileName(this, m_pExport->text().remove('&'), QString(),
                                                      AfxLoadString(IDS_BOOKMARK_FILTER));
    if (!path.isEmpty())
        ExportTo(path);
}

void CBookmarkPanel::OnImport()
{
    const QString path = QFileDialog::getOpenFileName(this, m_pImport->text().remove('&'), QString(),
                                                      AfxLoadString(IDS_BOOKMARK_FILTER));
    if (!path.isEmpty())
        ImportFrom(path);
}

// The list keeps the keys it acts on itself (Delete removes, Enter goes, F2
// edits a name) from the main window's accelerators by claiming them as a
// shortcut override, as Qt's own editors do.
bool CBookmarkPanel::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pTable && (pEvent->type() == QEvent::ShortcutOverride || pEvent->type() == QEvent::KeyPress)) {
        auto* pKey = static_cast<QKeyEvent*>(pEvent);
        const bool bPlain = (pKey->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        const bool bOwn = bPlain
                          && (pKey->key() == Qt::Key_Delete || pKey->key() == Qt::Key_Return
                              || pKey->key() == Qt::Key_Enter || pKey->key() == Qt::Key_F2);
        if (pEvent->type() == QEvent::ShortcutOverride) {
            if (bOwn)
                pEvent->accept();
            return bOwn;
        }
        // While a name is edited its editor has the keys, not the list.
        if (bPlain && pKey->key() == Qt::Key_Delete) {
            RemoveSelected();
            return true;
        }
    }
    return QDockWidget::eventFilter(pWatched, pEvent);
}
