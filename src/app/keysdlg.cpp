#include "keysdlg.h"

#include "resource.h"
#include "resources.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

CKeysDlg::CKeysDlg(QWidget* pParent) : QDialog(pParent), m_pTable(new QTableWidget(this))
{
    setWindowTitle(AfxLoadString(IDS_KEYS_TITLE));
    const QList<CKeyRes> keys = AfxLoadKeyList();
    m_pTable->setColumnCount(2);
    m_pTable->setRowCount(int(keys.size()));
    m_pTable->setHorizontalHeaderLabels({AfxLoadString(IDS_KEYS_KEY), AfxLoadString(IDS_KEYS_DOES)});
    m_pTable->setAccessibleName(windowTitle());
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setWordWrap(false);
    m_pTable->verticalHeader()->hide();
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < keys.size(); ++row) {
        m_pTable->setItem(row, 0, new QTableWidgetItem(keys.at(row).keys));
        m_pTable->setItem(row, 1, new QTableWidgetItem(keys.at(row).does));
    }
    m_pTable->resizeColumnsToContents();
    m_pTable->setMinimumWidth(m_pTable->horizontalHeader()->length() + 40);

    auto* note = new QLabel(AfxLoadString(IDS_KEYS_FONTS), this);
    note->setWordWrap(true);
    note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTable);
    layout->addWidget(note);
    layout->addWidget(buttons);
    resize(m_pTable->minimumWidth() + 30, 560);
}
