#pragma once

#include "mdichildwnd.h"

// A document window: one view of a document inside the main frame.
//
// New document windows open maximized or normal as the last document window
// that was maximized or restored while it was visible left them (s_nShowCmd).
// The state persists as "Settings"/"ShowCmd": LoadShowCmd reads it once at
// start-up, SaveShowCmd writes it at exit, and only when it changed.
class CChildFrame : public CMDIChildWnd {
    Q_OBJECT

public:
    explicit CChildFrame(QWidget* pParent = nullptr);

    // -1, the default for a new document window, stands for s_nShowCmd.
    void ActivateFrame(int nCmdShow = -1) override;

    static void LoadShowCmd();
    static void SaveShowCmd();

    // SW_SHOWMAXIMIZED or SW_SHOWNORMAL.
    static int s_nShowCmd;
    // The value last read from or written to the settings.
    static int s_nSavedShowCmd;

protected:
    void OnSize(unsigned nType, int cx, int cy) override;
};
