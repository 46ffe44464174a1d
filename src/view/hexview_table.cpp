#include "hexview.h"

#include "afxmsg.h"
#include "chartable.h"
#include "clipboard.h"
#include "cmdui.h"
#include "hexdoc.h"
#include "rangetext.h"
#include "resource.h"
#include "resources.h"

#include <QFileDialog>
#include <QFileInfo>

#include <memory>

// View > Code Page > Table File and Edit > Copy as Text.

void CHexView::RegisterTableCommands()
{
    OnCommand(ID_VIEW_CODEPAGE_TABLE, [this] { OnCodePageTable(); });
    OnUpdateCommand(ID_VIEW_CODEPAGE_TABLE, [this](CCmdUI* pCmdUI) {
        const CCharTable* pTable = GetDocument()->GetCharTable();
        pCmdUI->Enable(true);
        pCmdUI->SetRadio(pTable != nullptr);
        pCmdUI->SetText(pTable ? AfxLoadString(IDS_TABLE_MENU_LOADED).replace(QLatin1String("%1"), pTable->Name())
                               : QString());
    });
    OnCommand(ID_EDIT_COPY_TEXT, [this] { OnEditCopyText(); });
    OnUpdateCommand(ID_EDIT_COPY_TEXT, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(m_bSelection); });
}

void CHexView::OnCodePageTable()
{
    const QString path = QFileDialog::getOpenFileName(this, QString(), QFileInfo(GetDocument()->GetPathName()).path(),
                                                      AfxLoadString(IDS_TABLE_FILTER));
    if (!path.isEmpty())
        LoadCharTable(path);
}

bool CHexView::LoadCharTable(const QString& path)
{
    auto pTable = std::make_shared<CCharTable>();
    QString message;
    if (!pTable->LoadFile(path, &message)) {
        AfxMessageBox(message);
        return false;
    }
    GetDocument()->SetCharTable(std::move(pTable));
    return true;
}

void CHexView::OnEditCopyText()
{
    const CSelection sel = ShownSelection();
    if (sel.IsEmpty())
        return;
    try {
        CClipboard::Instance()->SetText(RangeText(*GetDocument(), m_rowFormat, sel.First(), sel.First() + sel.Length()));
    } catch (const std::bad_alloc&) {
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
    }
}
