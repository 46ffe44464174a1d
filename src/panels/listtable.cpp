#include "listtable.h"

#include <QHeaderView>
#include <QTableView>

void SetUpListTable(QTableView* pTable)
{
    pTable->verticalHeader()->hide();
    pTable->verticalHeader()->setDefaultSectionSize(pTable->fontMetrics().height() + 4);
    pTable->horizontalHeader()->setStretchLastSection(true);
    pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pTable->setWordWrap(false);
}
