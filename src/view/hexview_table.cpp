#include "hexview.h"

#include "afxmsg.h"
#include "chartable.h"
#include "clipboard.h"
#include "cmdui.h"
#include "filename.h"
#include "hexdoc.h"
#include "perfilevalues.h"
#include "rangetext.h"
#include "resource.h"
#include "resources.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

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
        ChooseCharTable(path);
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

bool CHexView::ChooseCharTable(const QString& path)
{
    if (!LoadCharTable(path))
        return false;
    RememberedTables().SetName(GetDocument()->GetPathName(), AfxAbsoluteFilePath(path));
    return true;
}

CPerFileValues CHexView::RememberedTables() const
{
    return CPerFileValues(GetServices().pProfile, QStringLiteral("FileTables"), CPerFileValues::kMaxFiles,
                          CPerFileValues::Holds::Names);
}

// A table that has gone or no longer reads leaves the code page shown and
// stays remembered, for a disk that comes back. Why is said in the status bar
// rather than in a message box for every file opened; once the window is up,
// since the frame listens to this view only from then on.
void CHexView::LoadRememberedTable()
{
    const QString path = RememberedTables().GetName(GetDocument()->GetPathName());
    if (path.isEmpty())
        return;
    auto pTable = std::make_shared<CCharTable>();
    QString message;
    if (pTable->LoadFile(path, &message)) {
        GetDocument()->SetCharTable(std::move(pTable));
        return;
    }
    const QString text =
        AfxLoadString(IDS_TABLE_NOT_RELOADED).replace(QLatin1String("%1"), message.section(QLatin1Char('\n'), 0, 0));
    QTimer::singleShot(0, this, [this, text] { emit statusMessage(text); });
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
