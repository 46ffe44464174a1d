#pragma once

#include "iconbutton.h"

#include <QDialog>
#include <QPointer>

class QFrame;
class QLabel;

// The start-up splash: a modeless, frameless window with the document icon,
// the version line, a notice, a black rule and a block of text.
//
// The application keeps this object as a member and only creates and destroys
// its window. It is therefore never given a Qt parent: an owner that deleted
// its children would delete a member of another object.
class CSplashDlg : public QDialog
{
    Q_OBJECT

public:
    CSplashDlg();

    // Creates the native window, centred on pOwner (on the screen when there is
    // none or it is not shown), without showing it. Returns whether the window
    // exists. pOwner is not kept beyond its lifetime.
    bool Create(QWidget* pOwner);

    // Hides and destroys the window; the object stays usable.
    void DestroyWindow();

    bool IsWindowUp() const;

protected:
    virtual bool OnInitDialog();

private:
    void CenterWindow();

    QPointer<QWidget> m_pOwner;
    QFrame* m_pBorder;
    QLabel* m_pVersion;
    QLabel* m_pNotice;
    QFrame* m_pRule;
    QLabel* m_pText;
    CIconButton m_btnIcon;
};
