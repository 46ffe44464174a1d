#include "stringspanel.h"

#include "afxmsg.h"
#include "hexdoc.h"
#include "hexview.h"
#include "listtable.h"
#include "resource.h"
#include "resources.h"
#include "stringscan.h"
#include "stringsmodel.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

CStringsPanel::CStringsPanel(QWidget* pParent)
    : QDockWidget(pParent), m_pMin(new QSpinBox), m_pNonAscii(new QCheckBox(AfxLoadString(IDS_STRINGS_NON_ASCII))),
      m_pFilter(new QLineEdit), m_pTable(new QTableView), m_pStatus(new QLabel), m_pModel(new CStringsModel(this)),
      m_pScanContext(new QObject)
{
    setObjectName(QStringLiteral("strings"));
    m_pMin->setRange(1, 256);
    m_pMin->setValue(4);
    auto* pMinLabel = new QLabel(AfxLoadString(IDS_STRINGS_MIN));
    pMinLabel->setBuddy(m_pMin);
    auto* pFilterLabel = new QLabel(AfxLoadString(IDS_STRINGS_FILTER));
    pFilterLabel->setBuddy(m_pFilter);
    m_pFilter->setClearButtonEnabled(true);
    auto* pExport = new QPushButton(AfxLoadString(IDS_STRINGS_EXPORT));

    m_pTable->setModel(m_pModel);
    SetUpListTable(m_pTable);
    m_pTable->installEventFilter(this);
    m_pFilter->installEventFilter(this);

    connect(m_pFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_pModel->SetFilter(text);
        ShowCount();
    });
    connect(m_pModel, &CStringsModel::filterProgressed, this, &CStringsPanel::ShowCount);
    connect(m_pMin, &QSpinBox::valueChanged, this, &CStringsPanel::Rescan);
    connect(m_pNonAscii, &QCheckBox::toggled, this, &CStringsPanel::Rescan);
    connect(pExport, &QPushButton::clicked, this, &CStringsPanel::Export);
    connect(m_pTable, &QAbstractItemView::activated, this, &CStringsPanel::SelectRun);
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool bVisible) {
        if (bVisible && m_bStale && !m_bScanning)
            Rescan();
    });
    m_rescanTimer.setSingleShot(true);
    m_rescanTimer.setInterval(300);
    connect(&m_rescanTimer, &QTimer::timeout, this, &CStringsPanel::Rescan);

    auto* pOptions = new QHBoxLayout;
    pOptions->addWidget(pMinLabel);
    pOptions->addWidget(m_pMin);
    pOptions->addWidget(m_pNonAscii);
    pOptions->addStretch();
    pOptions->addWidget(pExport);
    auto* pFilterRow = new QHBoxLayout;
    pFilterRow->addWidget(pFilterLabel);
    pFilterRow->addWidget(m_pFilter);
    auto* pBody = new QWidget;
    auto* pLayout = new QVBoxLayout(pBody);
    pLayout->setContentsMargins(2, 2, 2, 2);
    pLayout->addLayout(pOptions);
    pLayout->addLayout(pFilterRow);
    pLayout->addWidget(m_pTable);
    pLayout->addWidget(m_pStatus);
    setWidget(pBody);

    m_pScanContext->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_pScanContext, &QObject::deleteLater);
    m_thread.start();
}

// The thread stops before the panel goes: no part is then being scanned, and
// results it posted are dropped with the panel.
CStringsPanel::~CStringsPanel()
{
    m_thread.quit();
    m_thread.wait();
}

void CStringsPanel::SetView(CHexView* pView)
{
    m_pView = pView;
    CHexDoc* pDoc = pView ? pView->GetDocument() : nullptr;
    if (pDoc == m_pDoc)
        return;
    for (const QMetaObject::Connection& connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_pDoc = pDoc;
    if (m_pDoc) {
        m_connections = {
            connect(m_pDoc, &CHexDoc::bytesChanged, this, &CStringsPanel::OnDocumentChanged),
            connect(m_pDoc, &CHexDoc::codePageChanged, this, &CStringsPanel::Rescan),
            connect(m_pDoc, &CHexDoc::reloaded, this, &CStringsPanel::Rescan),
        };
    }
    Rescan();
}

void CStringsPanel::OnDocumentChanged(qint64 nPos, qint64 nRemoved, qint64 nInserted)
{
    // A list that shows the document as it was before this change is mended
    // around the change when that is cheap.
    if (!m_bScanning && !m_bStale && !m_rescanTimer.isActive() && isVisible()
        && RefreshAround(nPos, nRemoved, nInserted))
        return;
    // A scan under way reads parts of the document as it was: it stops now,
    // and a new one starts once typing pauses.
    // The list's texts are read from the document's bytes, which no longer
    // match its runs: it empties until the scan starts over.
    StopScan();
    m_pModel->Clear();
    m_bStale = true;
    m_rescanTimer.start();
    ShowCount();
}

bool CStringsPanel::RefreshAround(qint64 nPos, qint64 nRemoved, qint64 nInserted)
{
    if (!m_pDoc)
        return false;
    // A scan from the start of a run before the change finds what a scan from
    // the file's start finds from there on: no run is under way there. Whether
    // a byte ends a run may depend on the few bytes after it (a lead byte
    // without a trail byte, an unfinished UTF-8 sequence), so the run starts
    // kMaxCharBytes or more before the change. The scan goes on past the
    // change until it comes, with no run under way, to where a run after the
    // change starts; from there on the bytes, and so the runs, are those of
    // the list, moved along.
    const qint64 kMaxCharBytes = CStringScanner::MostCharBytes(m_pDoc->GetCharTable());
    const int nCount = m_pModel->RunCount();
    const int nBefore = m_pModel->FirstRunFrom(std::uint64_t(nPos > kMaxCharBytes ? nPos - kMaxCharBytes + 1 : 0)) - 1;
    const int nFirst = std::max(nBefore, 0);
    const std::uint64_t nStart = nBefore >= 0 ? m_pModel->RunAt(nBefore).nOffset : 0;
    const std::int64_t nShift = nInserted - nRemoved;
    const auto nLength = std::uint64_t(m_pDoc->Length());
    QByteArray hold;

    CStringScanner scanner(m_pDoc->GetCodePage(), m_pMin->value(), m_pNonAscii->isChecked(), nStart);
    scanner.UseTable(m_pDoc->ShareCharTable());
    std::vector<CTextRun> fresh;
    int nSync = m_pModel->FirstRunFrom(std::uint64_t(nPos) + nRemoved);
    for (;; ++nSync) {
        const std::uint64_t nTarget =
            nSync < nCount ? std::uint64_t(std::int64_t(m_pModel->RunAt(nSync).nOffset) + nShift) : nLength;
        while (scanner.Offset() < nTarget) {
            const std::uint64_t nAt = scanner.Offset();
            // Past this much the whole list is scanned again, off this thread.
            if (nAt - nStart > kRefreshBytes)
                return false;
            // Read no more than that at a time: the scanner goes on from
            // where a part ended, as it does for the parts of a whole scan.
            const std::uint64_t nPart = std::min<std::uint64_t>(nTarget - nAt, kRefreshBytes);
            const std::uint8_t* p = m_pDoc->Span(qint64(nAt), qint64(nPart), hold);
            if (!p)
                return false;
            const bool bLast = nTarget == nLength && nAt + nPart == nTarget;
            if (scanner.Scan(p, std::uint32_t(nPart), bLast, fresh) == 0)
                break;   // a character goes on past the target
        }
        if (nTarget == nLength || (scanner.Offset() == nTarget && scanner.BetweenRuns()))
            break;
    }
    const int nSelected = m_pTable->currentIndex().row();
    m_pModel->Splice(nFirst, nSync - nFirst, fresh, nShift);
    if (nSelected >= 0 && !m_pTable->currentIndex().isValid())
        m_pTable->setCurrentIndex(m_pModel->index(std::min(nSelected, m_pModel->rowCount() - 1), 0));
    ShowCount();
    return true;
}

void CStringsPanel::StopScan()
{
    ++m_nGeneration;
    m_pScanner.reset();
    m_bScanning = false;
    m_pModel->Publish(true);
    EndProgress();
    ShowCount();
}

void CStringsPanel::EndProgress()
{
    if (m_bScanning || !m_bProgressShown)
        return;
    m_bProgressShown = false;
    qApp->removeEventFilter(this);
    emit progressEnded();
}

void CStringsPanel::Rescan()
{
    m_rescanTimer.stop();
    StopScan();
    m_pModel->Reset(m_pDoc);
    m_bStale = true;
    if (!m_pDoc || !isVisible()) {
        ShowCount();
        return;
    }
    m_bStale = false;
    m_pScanner = std::make_shared<CStringScanner>(m_pDoc->GetCodePage(), m_pMin->value(), m_pNonAscii->isChecked());
    m_pScanner->UseTable(m_pDoc->ShareCharTable());
    m_bScanning = true;
    m_bFirstPart = true;
    m_scanClock.start();
    SendPart();
}

void CStringsPanel::SendPart()
{
    const auto nAt = qint64(m_pScanner->Offset());
    const qint64 nLeft = m_pDoc->Length() - nAt;
    const qint64 nPart = std::min<qint64>(nLeft, m_bFirstPart ? kFirstPartBytes : kPartBytes);
    m_bFirstPart = false;
    const bool bLast = nPart == nLeft;
    auto pBytes = std::make_shared<QByteArray>(qsizetype(nPart), Qt::Uninitialized);
    if (!m_pDoc->Read(nAt, nPart, reinterpret_cast<std::uint8_t*>(pBytes->data()))) {
        // Bytes that could not be read are not scanned as if they were 0xFF:
        // the list stays empty until the next change starts a scan again.
        StopScan();
        m_pModel->Clear();
        m_bStale = true;
        ShowCount();
        return;
    }
    std::shared_ptr<CStringScanner> pScanner = m_pScanner;
    const int nGeneration = m_nGeneration;
    QMetaObject::invokeMethod(
        m_pScanContext,
        [this, pBytes, pScanner, nGeneration, bLast] {
            auto pRuns = std::make_shared<std::vector<CTextRun>>();
            pScanner->Scan(reinterpret_cast<const std::uint8_t*>(pBytes->constData()), std::uint32_t(pBytes->size()),
                           bLast, *pRuns);
            const std::uint64_t nNext = pScanner->Offset();
            QMetaObject::invokeMethod(
                this, [this, pRuns, nGeneration, nNext] { OnPartScanned(nGeneration, nNext, *pRuns); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void CStringsPanel::OnPartScanned(int nGeneration, std::uint64_t nNext, std::vector<CTextRun>& runs)
{
    if (nGeneration != m_nGeneration || !m_pDoc)
        return;
    m_pModel->Append(runs);
    if (nNext >= std::uint64_t(m_pDoc->Length())) {
        m_pScanner.reset();
        m_bScanning = false;
        m_pModel->Publish(true);
        EndProgress();
        ShowCount();
        emit scanFinished();
        return;
    }
    if (m_scanClock.elapsed() >= kProgressDelay) {
        if (!m_bProgressShown) {
            // Esc stops the scan from anywhere in the window while it shows.
            qApp->installEventFilter(this);
            m_bProgressShown = true;
        }
        emit progressChanged(AfxLoadString(IDS_STRINGS_PROGRESS).replace(QLatin1String("%1"), m_pDoc->GetTitle()),
                             qint64(nNext), m_pDoc->Length());
    }
    ShowCount();
    SendPart();
}

void CStringsPanel::ShowCount()
{
    const QString count = QString::number(m_pModel->Listed());
    m_pStatus->setText(AfxLoadString(m_bScanning || m_pModel->IsFiltering() ? IDS_STRINGS_SCANNING : IDS_STRINGS_FOUND).arg(count));
}

void CStringsPanel::SelectRun(const QModelIndex& index)
{
    if (!index.isValid() || !m_pView || !m_pDoc)
        return;
    const CTextRun run = m_pModel->Run(index.row());
    if (qint64(run.nOffset + run.nLength) > m_pDoc->Length())
        return;
    m_pView->SelectRange(qint64(run.nOffset), qint64(run.nOffset + run.nLength));
    m_pView->ShowMatch();
}

QByteArray CStringsPanel::ExportText() const
{
    m_pModel->FinishFilter();
    std::string out;
    for (int r = 0; r < m_pModel->Listed(); ++r)
        CStringScanner::AppendLine(m_pModel->Run(r), out);
    return QByteArray::fromStdString(out);
}

bool CStringsPanel::ExportTo(const QString& path)
{
    QSaveFile file(path);
    const QByteArray text = ExportText();
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        AfxMessageBox(AfxLoadString(IDS_STRINGS_EXPORT_FAILED).arg(path) + QLatin1Char('\n') + file.errorString());
        return false;
    }
    return true;
}

void CStringsPanel::Export()
{
    const QString path = QFileDialog::getSaveFileName(this, QString(), QString(), QStringLiteral("*.txt"));
    if (!path.isEmpty())
        ExportTo(path);
}

void CStringsPanel::ShowAndFocus()
{
    show();
    raise();
    m_pTable->setFocus(Qt::ShortcutFocusReason);
    // A dock shown just now may take the focus only once the window has laid
    // it out: ask again from the event loop.
    QTimer::singleShot(0, m_pTable, [pTable = m_pTable] { pTable->setFocus(Qt::ShortcutFocusReason); });
}

bool CStringsPanel::eventFilter(QObject* pObject, QEvent* pEvent)
{
    if (pEvent->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(pEvent)->key() != Qt::Key_Escape)
        return QDockWidget::eventFilter(pObject, pEvent);
    auto* pWidget = qobject_cast<QWidget*>(pObject);
    if (pObject != m_pTable && pObject != m_pFilter) {
        // Seen by the filter on the application while a scan shows progress:
        // Esc in the panel's window, no menu or dialog open, stops the scan.
        if (m_bScanning && pWidget && pWidget->window() == window() && !QApplication::activePopupWidget()
            && !QApplication::activeModalWidget()) {
            StopScan();
            return true;
        }
        return false;
    }
    // Esc in the list or the filter stops a scan under way, else goes back to
    // the rows.
    if (m_bScanning)
        StopScan();
    else if (m_pView)
        m_pView->setFocus(Qt::ShortcutFocusReason);
    return true;
}

CHexView* CStringsPanel::View() const
{
    return m_pView;
}

void CStringsPanel::keyPressEvent(QKeyEvent* pEvent)
{
    pEvent->accept();
}
