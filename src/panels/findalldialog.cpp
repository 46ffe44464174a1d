#include "findalldialog.h"

#include "chartable.h"
#include "codepage.h"
#include "encodedsearch.h"
#include "hexdoc.h"
#include "hexview.h"
#include "longtask.h"
#include "resource.h"
#include "resources.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStandardItemModel>

namespace {

constexpr int kCodePageRole = Qt::UserRole + 2;
// True on a hit of the character table's bytes.
constexpr int kTableRole = Qt::UserRole + 3;

} // namespace

CFindAllDialog::CFindAllDialog(QWidget* pParent)
    : CHitListDialog(IDS_FINDALL_TEXT,
                     {AfxLoadString(IDS_STRINGS_OFFSET), AfxLoadString(IDS_FINDALL_ENCODING),
                      AfxLoadString(IDS_STRINGS_TEXT)},
                     pParent),
      m_pShowIn(new QPushButton(AfxLoadString(IDS_FINDALL_SHOW_IN)))
{
    setObjectName(QStringLiteral("findAll"));
    m_pShowIn->setAutoDefault(false);
    Options()->addStretch();
    Options()->addWidget(m_pShowIn);
    connect(m_pShowIn, &QPushButton::clicked, this, &CFindAllDialog::ShowInEncoding);
}

void CFindAllDialog::AddPatterns(CEncodedSearch& search, const QString& text)
{
    m_pTable = View() ? View()->GetDocument()->ShareCharTable() : nullptr;
    m_nTablePattern = -1;
    if (!m_pTable)
        return;
    const CEncodedText encoded = m_pTable->Encode(text);
    if (encoded.bOk && !encoded.bytes.isEmpty())
        m_nTablePattern = search.Add(m_pTable->Name(), encoded.bytes, 0);
    else
        search.Skip(m_pTable->Name());
}

bool CFindAllDialog::Search(const QString& text, const CHexDoc& doc)
{
    CEncodedSearch search(text);
    AddPatterns(search, text);
    const CMultiPattern& patterns = search.Patterns();
    std::vector<CPatternHit> hits;
    const bool bWhole = ScanDocument(doc, [&](const std::uint8_t* p, std::uint32_t n, std::uint64_t nBase, bool bLast) {
        const std::uint32_t nDone = patterns.Scan(p, n, nBase, bLast, hits);
        if (hits.size() >= std::size_t(kMaxHits))
            throw CUserException();
        return nDone;
    });
    if (hits.size() > std::size_t(kMaxHits))
        hits.resize(std::size_t(kMaxHits));
    for (const CPatternHit& hit : hits) {
        const int nCodePage = search.CodePage(hit.nPattern);
        auto* pEncoding = new QStandardItem(patterns.Name(hit.nPattern));
        pEncoding->setData(nCodePage, kCodePageRole);
        const bool bTable = hit.nPattern == m_nTablePattern;
        pEncoding->setData(bTable, kTableRole);
        const auto nLength = std::uint32_t(patterns.Bytes(hit.nPattern).size());
        // Only the bytes TextAround looks at are read, the hit's offset taken
        // from the start of them.
        const qint64 nAt = qint64(hit.nOffset);
        const qint64 nFrom = nAt - std::min<qint64>(nAt, CEncodedSearch::kTextBefore);
        const qint64 nTo = std::min(doc.Length(), nAt + nLength + CEncodedSearch::kTextAfter);
        QByteArray hold;
        const std::uint8_t* p = doc.Span(nFrom, nTo - nFrom, hold);
        const QString around =
            !p       ? QString()
            : bTable ? CEncodedSearch::TextAround(*m_pTable, p, quint64(nTo - nFrom), quint64(nAt - nFrom), nLength)
                     : CEncodedSearch::TextAround(nCodePage, p, quint64(nTo - nFrom), quint64(nAt - nFrom), nLength);
        AddHit(hit.nOffset, nLength, {pEncoding, new QStandardItem(around)});
    }
    QString status = AfxLoadString(bWhole ? IDS_STRINGS_FOUND : IDS_FINDALL_STOPPED).arg(hits.size());
    if (!search.Skipped().isEmpty())
        status += QLatin1Char('\n') + AfxLoadString(IDS_FINDALL_SKIPPED).arg(search.Skipped().join(QLatin1String(", ")));
    ShowStatus(status);
    return true;
}

void CFindAllDialog::ShowInEncoding()
{
    std::uint64_t nOffset = 0;
    int nRow = 0;
    if (!View() || !CurrentHit(nOffset, nRow))
        return;
    const QStandardItem* pEncoding = Model()->item(nRow, 1);
    CHexDoc* pDoc = View()->GetDocument();
    if (pEncoding->data(kTableRole).toBool()) {
        if (pDoc->GetCharTable() != m_pTable.get())
            pDoc->SetCharTable(m_pTable);
        return;
    }
    const int nCodePage = pEncoding->data(kCodePageRole).toInt();
    if (!IsShownCodePage(nCodePage)) {
        ShowStatus(AfxLoadString(IDS_FINDALL_NO_CODEPAGE).arg(pEncoding->text()));
        return;
    }
    pDoc->SetCodePage(nCodePage);
}
