#pragma once

#include <QString>

// Asks a command's update handler whether the command is usable. The framework
// makes one before a menu opens, at idle time for the toolbar, and before it
// carries out any command, whatever its source (menu, button or key).
class CCmdUI {
public:
    explicit CCmdUI(unsigned nID) : m_nID(nID) {}
    virtual ~CCmdUI() = default;

    virtual void Enable(bool bOn = true) { m_bEnabled = bOn; m_bEnableChanged = true; }
    virtual void SetCheck(int nCheck = 1) { m_nCheck = nCheck; }
    // A check drawn as one choice among several (a radio mark).
    virtual void SetRadio(bool bOn = true) { m_nCheck = bOn ? 1 : 0; }
    // The item's text while the answer holds; an empty text gives it back
    // its own from the menu.
    virtual void SetText(const QString& text) { m_text = text; }
    QString GetText() const { return m_text; }

    bool IsEnabled() const { return m_bEnabled; }
    int GetCheck() const { return m_nCheck; }

    const unsigned m_nID;
    bool m_bEnableChanged = false;   // some handler answered

private:
    bool m_bEnabled = false;
    int m_nCheck = 0;
    QString m_text;
};
