#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

class CView;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Flags of the find/replace dialog: given to Create, and carried by every
// notification together with the action that caused it.
enum : unsigned {
    FR_DOWN = 0x1,
    FR_WHOLEWORD = 0x2,
    FR_MATCHCASE = 0x4,
    FR_FINDNEXT = 0x8,
    FR_REPLACE = 0x10,
    FR_REPLACEALL = 0x20,
    FR_DIALOGTERM = 0x40,
    FR_HIDEWHOLEWORD = 0x10000,
};

// Name of the message the dialog sends to its owner; register it with
// RegisterWindowMessage to get its number.
inline constexpr char FINDMSGSTRING[] = "commdlg_FindReplace";

// The modeless Find or Replace dialog. Construct it on the heap and call Create
// with the owning view. Each button (Find Next, Replace, Replace All) and each
// way of closing it calls the owner's OnRegisteredMessage at once, with the
// number of FINDMSGSTRING and the dialog as lParam (see GetNotifier); the
// dialog's flags then hold that one action plus FR_DOWN and FR_MATCHCASE as the
// controls show them. The texts are handed over as typed, however long.
//
// Ownership: the dialog is a child window of its owner. Closing it sends
// FR_DIALOGTERM and then deletes it later, from the event loop, so the owner
// must drop its pointer on FR_DIALOGTERM. When the owner is destroyed first,
// the dialog goes with it, silently: no notification reaches a view that is
// being destroyed.
class CFindReplaceDialog : public QDialog {
    Q_OBJECT

public:
    CFindReplaceDialog();

    // Builds the find form (bFindDialogOnly) or the replace form, fills the
    // boxes and shows the dialog. FR_HIDEWHOLEWORD is assumed: the dialog has
    // no whole-word option.
    bool Create(bool bFindDialogOnly, const QString& strFindWhat, const QString& strReplaceWith,
                unsigned nFlags, CView* pParentWnd);

    static CFindReplaceDialog* GetNotifier(qintptr lParam);

    QString GetFindString() const;
    QString GetReplaceString() const;
    unsigned GetFlags() const { return m_nFlags; }
    bool MatchCase() const { return m_nFlags & FR_MATCHCASE; }
    bool SearchDown() const { return m_nFlags & FR_DOWN; }
    bool FindNext() const { return m_nFlags & FR_FINDNEXT; }
    bool ReplaceCurrent() const { return m_nFlags & FR_REPLACE; }
    bool ReplaceAll() const { return m_nFlags & FR_REPLACEALL; }
    bool IsTerminating() const { return m_nFlags & FR_DIALOGTERM; }

    void done(int r) override;

private:
    void Notify(unsigned nAction);
    void UpdateButtons();

    unsigned m_nFlags = 0;
    bool m_bTerminated = false;
    QPointer<CView> m_pOwner;
    QLineEdit* m_pFindEdit = nullptr;
    QLineEdit* m_pReplaceEdit = nullptr;
    QCheckBox* m_pMatchCase = nullptr;
    QRadioButton* m_pUp = nullptr;
    QRadioButton* m_pDown = nullptr;
    QPushButton* m_pFindNext = nullptr;
    QPushButton* m_pReplace = nullptr;
    QPushButton* m_pReplaceAll = nullptr;
};
