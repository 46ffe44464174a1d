#include "relativesearchdialog.h"

#include "hexdoc.h"
#include "longtask.h"
#include "relativesearch.h"
#include "resource.h"
#include "resources.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardItemModel>

namespace {

constexpr int kWidthRole = Qt::UserRole + 2;
constexpr int kFirstRole = Qt::UserRole + 3;

} // namespace

CRelativeSearchDialog::CRelativeSearchDialog(QWidget* pParent)
    : CHitListDialog(IDS_RELATIVE_WORD,
                     {AfxLoadString(IDS_STRINGS_OFFSET), AfxLoadString(IDS_RELATIVE_CODES),
                      AfxLoadString(IDS_RELATIVE_FIRST)},
                     pParent),
      m_pTwoByte(new QCheckBox(AfxLoadString(IDS_RELATIVE_TWO_BYTE))),
      m_pMakeTable(new QPushButton(AfxLoadString(IDS_RELATIVE_MAKE_TABLE)))
{
    setObjectName(QStringLiteral("relativeSearch"));
    m_pMakeTable->setAutoDefault(false);
    Options()->addWidget(m_pTwoByte);
    Options()->addStretch();
    Options()->addWidget(m_pMakeTable);
    connect(m_pMakeTable, &QPushButton::clicked, this, &CRelativeSearchDialog::MakeTable);
}

CRelativeSearchDialog::~CRelativeSearchDialog() = default;

bool CRelativeSearchDialog::Search(const QString& text, const CHexDoc& doc)
{
    m_pSearch = std::make_unique<CRelativeSearch>(text, m_pTwoByte->isChecked());
    if (!m_pSearch->IsValid()) {
        ShowStatus(m_pSearch->Problem());
        return false;
    }
    const CRelativeSearch& search = *m_pSearch;
    std::vector<CRelativeHit> hits;
    const bool bWhole = ScanDocument(doc, [&](const std::uint8_t* p, std::uint32_t n, std::uint64_t nBase, bool bLast) {
        const std::uint32_t nDone = search.Scan(p, n, nBase, bLast, hits);
        if (hits.size() >= std::size_t(kMaxHits))
            throw CUserException();
        return nDone;
    });
    if (hits.size() > std::size_t(kMaxHits))
        hits.resize(std::size_t(kMaxHits));
    const auto nLetters = std::uint32_t(text.toUcs4().size());
    for (const CRelativeHit& hit : hits) {
        auto* pCodes = new QStandardItem(CRelativeSearch::WidthName(hit.width));
        pCodes->setData(int(hit.width), kWidthRole);
        pCodes->setData(hit.nFirst, kFirstRole);
        AddHit(hit.nOffset, nLetters * (hit.width == CRelativeHit::OneByte ? 1 : 2),
               {pCodes, new QStandardItem(search.FirstLetterText(hit))});
    }
    ShowStatus(AfxLoadString(bWhole ? IDS_STRINGS_FOUND : IDS_FINDALL_STOPPED).arg(hits.size()));
    return true;
}

bool CRelativeSearchDialog::SaveTable(const QString& path)
{
    std::uint64_t nOffset = 0;
    int nRow = 0;
    if (!m_pSearch || !CurrentHit(nOffset, nRow))
        return false;
    const QStandardItem* pCodes = Model()->item(nRow, 1);
    const CRelativeHit hit{nOffset, CRelativeHit::Width(pCodes->data(kWidthRole).toInt()),
                           pCodes->data(kFirstRole).toUInt()};
    QSaveFile file(path);
    const QByteArray text = m_pSearch->TableText(hit).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        ShowStatus(AfxLoadString(IDS_STRINGS_EXPORT_FAILED).arg(path));
        return false;
    }
    emit tableSaved(path);
    return true;
}

void CRelativeSearchDialog::MakeTable()
{
    std::uint64_t nOffset = 0;
    int nRow = 0;
    if (!m_pSearch || !CurrentHit(nOffset, nRow))
        return;
    const QString path = QFileDialog::getSaveFileName(this, m_pMakeTable->text().remove(QLatin1Char('&')), QString(),
                                                      AfxLoadString(IDS_RELATIVE_TABLE_FILTER));
    if (!path.isEmpty())
        SaveTable(path);
}
