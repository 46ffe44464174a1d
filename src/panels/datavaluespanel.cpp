#include "datavaluespanel.h"

#include "afxmsg.h"
#include "hexdoc.h"
#include "hexview.h"
#include "resource.h"
#include "resources.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

struct Row {
    CDataType type;
    const char* name;    // a type name read the same in every language
    unsigned nNameID;    // or a text of the string table
};

const Row kRows[] = {
    {CDataType::Binary8, nullptr, IDS_INSPECT_BINARY},
    {CDataType::Int8, "int8", 0},
    {CDataType::UInt8, "uint8", 0},
    {CDataType::Int16, "int16", 0},
    {CDataType::UInt16, "uint16", 0},
    {CDataType::Int32, "int32", 0},
    {CDataType::UInt32, "uint32", 0},
    {CDataType::Int64, "int64", 0},
    {CDataType::UInt64, "uint64", 0},
    {CDataType::Float32, "float32", 0},
    {CDataType::Float64, "float64", 0},
    {CDataType::UnixTime32, nullptr, IDS_INSPECT_UNIX_TIME},
    {CDataType::CharGB, "GB (936)", 0},
    {CDataType::CharBig5, "BIG5 (950)", 0},
    {CDataType::CharShiftJis, "Shift JIS (932)", 0},
    {CDataType::CharUtf8, "UTF-8", 0},
    {CDataType::CharUtf16, "UTF-16", 0},
    {CDataType::CharDocument, nullptr, IDS_INSPECT_DOC_CODEPAGE},
};
constexpr int kRowCount = int(sizeof kRows / sizeof kRows[0]);

} // namespace

CDataValuesPanel::CDataValuesPanel(QWidget* pParent)
    : QDockWidget(pParent), m_pTable(new QTableWidget(kRowCount, 2)),
      m_pBigEndian(new QCheckBox(AfxLoadString(IDS_INSPECT_BIG_ENDIAN))), m_pHex(new QCheckBox(AfxLoadString(IDS_INSPECT_HEX)))
{
    setObjectName(QStringLiteral("dataInspector"));
    m_pTable->setHorizontalHeaderLabels({AfxLoadString(IDS_INSPECT_TYPE), AfxLoadString(IDS_INSPECT_VALUE)});
    m_pTable->verticalHeader()->hide();
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_pTable->setAccessibleName(windowTitle());
    for (int r = 0; r < kRowCount; ++r) {
        auto* pName = new QTableWidgetItem(kRows[r].name ? QString::fromLatin1(kRows[r].name) : AfxLoadString(kRows[r].nNameID));
        pName->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        m_pTable->setItem(r, 0, pName);
        auto* pValue = new QTableWidgetItem;
        pValue->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        m_pTable->setItem(r, 1, pValue);
    }
    m_pTable->resizeColumnToContents(0);
    m_pTable->installEventFilter(this);
    // Enter starts editing as F2 does; while editing it commits.
    connect(m_pTable, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        if (QTableWidgetItem* pItem = m_pTable->item(index.row(), 1); pItem && (pItem->flags() & Qt::ItemIsEditable))
            m_pTable->editItem(pItem);
    });
    connect(m_pTable, &QTableWidget::itemChanged, this, &CDataValuesPanel::OnItemChanged);
    for (QCheckBox* pBox : {m_pBigEndian, m_pHex})
        connect(pBox, &QCheckBox::toggled, this, [this] {
            Refresh();
            emit formatChanged();
        });

    auto* pSwitches = new QHBoxLayout;
    pSwitches->addWidget(m_pBigEndian);
    pSwitches->addWidget(m_pHex);
    pSwitches->addStretch();
    auto* pBody = new QWidget;
    auto* pLayout = new QVBoxLayout(pBody);
    pLayout->setContentsMargins(2, 2, 2, 2);
    pLayout->addLayout(pSwitches);
    pLayout->addWidget(m_pTable);
    setWidget(pBody);
    Refresh();
}

int CDataValuesPanel::RowOf(CDataType type)
{
    for (int r = 0; r < kRowCount; ++r)
        if (kRows[r].type == type)
            return r;
    return -1;
}

void CDataValuesPanel::SetView(CHexView* pView)
{
    if (pView == m_pView && (!pView || pView->GetDocument() == m_pDoc))
        return;
    for (const QMetaObject::Connection& connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_pView = pView;
    m_pDoc = pView ? pView->GetDocument() : nullptr;
    if (m_pView && m_pDoc) {
        m_nCaret = m_pView->HasSelection() ? m_pView->GetSelection().End() : m_pView->m_nCaretPos;
        m_connections = {
            connect(m_pView, &CHexView::caretMoved, this, [this](qint64 nCaret) { OnCaretMoved(nCaret); }),
            connect(m_pDoc, &CHexDoc::bytesChanged, this, &CDataValuesPanel::Refresh),
            connect(m_pDoc, &CHexDoc::codePageChanged, this, &CDataValuesPanel::Refresh),
            connect(m_pDoc, &CHexDoc::reloaded, this, &CDataValuesPanel::Refresh),
        };
    }
    Refresh();
}

bool CDataValuesPanel::IsBigEndian() const
{
    return m_pBigEndian->isChecked();
}

void CDataValuesPanel::SetBigEndian(bool bBigEndian)
{
    m_pBigEndian->setChecked(bBigEndian);
}

bool CDataValuesPanel::IsHex() const
{
    return m_pHex->isChecked();
}

void CDataValuesPanel::SetHex(bool bHex)
{
    m_pHex->setChecked(bHex);
}

void CDataValuesPanel::ShowAndFocus()
{
    show();
    raise();
    if (m_pTable->currentRow() < 0)
        m_pTable->setCurrentCell(0, 1);
    m_pTable->setFocus(Qt::ShortcutFocusReason);
    // A dock shown just now may take the focus only once the window has laid
    // it out: ask again from the event loop.
    QTimer::singleShot(0, m_pTable, [pTable = m_pTable] { pTable->setFocus(Qt::ShortcutFocusReason); });
}

CDataFormat CDataValuesPanel::Format() const
{
    CDataFormat format;
    format.bBigEndian = IsBigEndian();
    format.bHex = IsHex();
    format.nCodePage = m_pDoc ? m_pDoc->GetCodePage() : 936;
    return format;
}

void CDataValuesPanel::OnCaretMoved(qint64 nCaret)
{
    if (nCaret == m_nCaret)
        return;
    m_nCaret = nCaret;
    Refresh();
}

void CDataValuesPanel::showEvent(QShowEvent* pEvent)
{
    QDockWidget::showEvent(pEvent);
    Refresh();
}

void CDataValuesPanel::Refresh()
{
    // A hidden panel reads nothing: it catches up when it is shown. The
    // character rows would otherwise build the tables of three code pages as
    // the program starts and a document window opens, with the panel closed.
    if (!isVisible())
        return;
    // The editor of a row being edited keeps its text; the rest follow.
    m_bFilling = true;
    const CDataFormat format = Format();
    const qint64 nLength = m_pDoc ? m_pDoc->Length() : 0;
    if (m_nCaret > nLength)
        m_nCaret = nLength;
    // No value takes more than a few bytes: those past the window are never
    // looked at, and fewer than it are all there are before the end.
    constexpr qint64 kWindow = 16;
    std::uint8_t window[kWindow];
    const auto nAvail = std::uint32_t(std::min(nLength - m_nCaret, kWindow));
    const bool bDocument = m_pDoc && m_pDoc->Read(m_nCaret, nAvail, window);
    const std::uint8_t* p = window;
    for (int r = 0; r < kRowCount; ++r) {
        const CDataType type = kRows[r].type;
        if (type == CDataType::CharDocument)
            m_pTable->item(r, 0)->setText(AfxLoadString(IDS_INSPECT_DOC_CODEPAGE).arg(format.nCodePage));
        QTableWidgetItem* pItem = m_pTable->item(r, 1);
        QString text;
        bool bEditable = false;
        if (bDocument) {
            const CDataReading reading = ReadDataValue(type, p, nAvail, format);
            switch (reading.status) {
            case CDataReading::Ok:
                text = reading.text;
                if (IsCharType(type))
                    text += QLatin1String("  (") + HexBytes(p, reading.nBytes) + QLatin1Char(')');
                break;
            case CDataReading::TooFewBytes:
                text = AfxLoadString(IDS_INSPECT_TOO_FEW).arg(reading.nBytes).arg(nAvail);
                break;
            case CDataReading::NotACharacter:
                text = AfxLoadString(IDS_INSPECT_NOT_CHAR) + QLatin1String("  (") + HexBytes(p, reading.nBytes)
                    + QLatin1Char(')');
                break;
            }
            bEditable = nAvail > 0;
        }
        pItem->setText(text);
        // Setting flags repaints the row even when they are the same, so only
        // a change sets them: a caret move repaints only the values it changes.
        const Qt::ItemFlags flags = bEditable ? Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable
                                              : Qt::ItemIsSelectable | Qt::ItemIsEnabled;
        if (pItem->flags() != flags)
            pItem->setFlags(flags);
    }
    m_bFilling = false;
}

void CDataValuesPanel::OnItemChanged(QTableWidgetItem* pItem)
{
    if (m_bFilling || pItem->column() != 1 || pItem->row() < 0 || pItem->row() >= kRowCount)
        return;
    const QString text = pItem->text();
    Write(kRows[pItem->row()].type, text);
    // The row shows the bytes as they now are, written or not.
    Refresh();
}

void CDataValuesPanel::Write(CDataType type, const QString& text)
{
    if (!m_pDoc || !m_pView)
        return;
    const CDataWriting writing = ParseDataValue(type, text, Format());
    const QString name = m_pTable->item(RowOf(type), 0)->text();
    switch (writing.status) {
    case CDataWriting::Ok:
        break;
    case CDataWriting::NotANumber:
    case CDataWriting::OutOfRange:
        AfxMessageBox(AfxLoadString(IDS_INSPECT_REFUSED).arg(text, name, writing.range));
        return;
    case CDataWriting::NotOneCharacter:
        AfxMessageBox(AfxLoadString(IDS_INSPECT_NOT_ONE_CHAR).arg(text));
        return;
    case CDataWriting::NotEncodable:
        AfxMessageBox(AfxLoadString(IDS_CANNOT_ENCODE).arg(text, QString::number(CharTypeCodePage(type, Format()))));
        return;
    }
    const auto n = std::uint32_t(writing.bytes.size());
    const qint64 nAvail = m_pDoc->Length() - m_nCaret;
    if (n > nAvail) {
        AfxMessageBox(AfxLoadString(IDS_INSPECT_PAST_END).arg(n).arg(nAvail));
        return;
    }
    const CHexDoc::EditResult result =
        m_pDoc->ReplaceBytes(m_nCaret, n, reinterpret_cast<const std::uint8_t*>(writing.bytes.constData()), n,
                             m_pView->EditState());
    if (CHexDoc::Changed(result))
        m_pDoc->SetStepAfter(m_pView->EditState());
    m_pView->ReportEdit(result);
}

bool CDataValuesPanel::eventFilter(QObject* pObject, QEvent* pEvent)
{
    if (pObject == m_pTable && pEvent->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(pEvent)->key() == Qt::Key_Escape && m_pView) {
        m_pView->setFocus(Qt::ShortcutFocusReason);
        return true;
    }
    return QDockWidget::eventFilter(pObject, pEvent);
}

CHexView* CDataValuesPanel::View() const
{
    return m_pView;
}

void CDataValuesPanel::keyPressEvent(QKeyEvent* pEvent)
{
    pEvent->accept();
}
