#include "hitlistdialog.h"

#include "hexdoc.h"
#include "hexview.h"
#include "listtable.h"
#include "longtask.h"
#include "resource.h"
#include "resources.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

CHitListDialog::CHitListDialog(unsigned nTextLabel, const QStringList& columns, QWidget* pParent)
    : QDialog(pParent), m_pText(new QLineEdit), m_pFind(new QPushButton(AfxLoadString(IDS_FINDALL_FIND))),
      m_pOptions(new QHBoxLayout), m_pTable(new QTableView), m_pModel(new QStandardItemModel(this)),
      m_pStatus(new QLabel)
{
    auto* pLabel = new QLabel(AfxLoadString(nTextLabel));
    pLabel->setBuddy(m_pText);
    m_pFind->setDefault(true);
    m_pModel->setHorizontalHeaderLabels(columns);
    m_pTable->setModel(m_pModel);
    SetUpListTable(m_pTable);
    m_pTable->setTabKeyNavigation(false);
    m_pTable->installEventFilter(this);
    connect(m_pTable, &QAbstractItemView::doubleClicked, this, &CHitListDialog::SelectHit);
    connect(m_pFind, &QPushButton::clicked, this, &CHitListDialog::Find);

    auto* pTextRow = new QHBoxLayout;
    pTextRow->addWidget(pLabel);
    pTextRow->addWidget(m_pText, 1);
    pTextRow->addWidget(m_pFind);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pTextRow);
    pLayout->addLayout(m_pOptions);
    pLayout->addWidget(m_pTable, 1);
    pLayout->addWidget(m_pStatus);
    resize(560, 420);
}

// The hits are offsets into one document as it was: another document, or an
// edit of this one, empties the list rather than leave hits that select other
// bytes.
void CHitListDialog::SetView(CHexView* pView)
{
    m_pView = pView;
    CHexDoc* pDoc = pView ? pView->GetDocument() : nullptr;
    if (pDoc && pDoc == m_pDoc)
        return;
    if (m_pDoc)
        disconnect(m_pDoc, nullptr, this, nullptr);
    m_pDoc = pDoc;
    ClearHits();
    if (pDoc)
        connect(pDoc, &CHexDoc::bytesChanged, this, &CHitListDialog::ClearHits);
}

void CHitListDialog::ClearHits()
{
    m_pModel->removeRows(0, m_pModel->rowCount());
    ShowStatus(QString());
}

CHexView* CHitListDialog::View() const
{
    return m_pView;
}

void CHitListDialog::ShowStatus(const QString& text)
{
    m_pStatus->setText(text);
}

// Enter on a row selects its hit; left to the table it would press the
// dialog's default button and search again.
bool CHitListDialog::eventFilter(QObject* pObject, QEvent* pEvent)
{
    if (pObject == m_pTable && pEvent->type() == QEvent::KeyPress) {
        const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
        if (nKey == Qt::Key_Return || nKey == Qt::Key_Enter) {
            SelectHit(m_pTable->currentIndex());
            return true;
        }
    }
    return QDialog::eventFilter(pObject, pEvent);
}

void CHitListDialog::Find()
{
    ClearHits();
    CHexDoc* pDoc = m_pView ? m_pView->GetDocument() : nullptr;
    if (!pDoc || m_pText->text().isEmpty())
        return;
    if (Search(m_pText->text(), *pDoc) && m_pModel->rowCount() > 0) {
        m_pTable->setFocus();
        m_pTable->setCurrentIndex(m_pModel->index(0, 0));
    }
}

bool CHitListDialog::ScanDocument(const CHexDoc& doc, const ScanPart& scan)
{
    constexpr qint64 kPart = qint64(1) << 22;
    const qint64 nLength = doc.Length();
    CLongTask task(AfxLoadString(IDS_SEARCHING).replace(QLatin1String("%1"), doc.GetTitle()), qint64(nLength));
    bool bWhole = true;
    // The scan only reads the document and collects its hits; the rows are
    // made on this thread when it is done.
    try {
        task.Run([&] {
            // A part at a time, each read on its own: the scan takes what it
            // could not finish (a hit straddling the part's end) from the next.
            QByteArray hold;
            for (qint64 nAt = 0; nAt < nLength || nAt == 0;) {
                const qint64 nHeld = std::min(nLength - nAt, kPart);
                const bool bLast = nHeld == nLength - nAt;
                const std::uint8_t* p = doc.Span(nAt, nHeld, hold);
                if (!p)
                    throw CUserException();
                const std::uint32_t nDone = scan(p, std::uint32_t(nHeld), std::uint64_t(nAt), bLast);
                nAt += nDone;
                if (bLast)
                    break;
                if (!task.Step(nDone))
                    throw CUserException();
            }
        });
    } catch (const CUserException&) {
        bWhole = false;
    }
    return bWhole;
}

void CHitListDialog::AddHit(std::uint64_t nOffset, std::uint32_t nLength, QList<QStandardItem*> cells)
{
    auto* pOffset = new QStandardItem(QStringLiteral("%1").arg(nOffset, 8, 16, QLatin1Char('0')).toUpper());
    pOffset->setData(QVariant::fromValue(quint64(nOffset)), Qt::UserRole);
    pOffset->setData(QVariant::fromValue(quint32(nLength)), Qt::UserRole + 1);
    cells.prepend(pOffset);
    m_pModel->appendRow(cells);
}

bool CHitListDialog::CurrentHit(std::uint64_t& nOffset, int& nRow) const
{
    const QModelIndex index = m_pTable->currentIndex();
    if (!index.isValid())
        return false;
    nRow = index.row();
    nOffset = m_pModel->item(nRow, 0)->data(Qt::UserRole).toULongLong();
    return true;
}

void CHitListDialog::SelectHit(const QModelIndex& index)
{
    if (!index.isValid() || !m_pView)
        return;
    const QStandardItem* pItem = m_pModel->item(index.row(), 0);
    const std::uint64_t nOffset = pItem->data(Qt::UserRole).toULongLong();
    const std::uint64_t nEnd = nOffset + pItem->data(Qt::UserRole + 1).toUInt();
    // The document may have changed since the search.
    if (nEnd > std::uint64_t(m_pView->GetDocument()->Length()))
        return;
    m_pView->SelectRange(qint64(nOffset), qint64(nEnd));
    m_pView->ShowMatch();
}
