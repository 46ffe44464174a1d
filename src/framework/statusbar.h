#pragma once

#include <QList>
#include <QStatusBar>
#include <QString>

#include <functional>

class QLabel;
class QProgressBar;

// Pane styles for SetPaneInfo.
enum : unsigned {
    SBPS_NORMAL = 0x0000,
    SBPS_NOBORDERS = 0x0100,
    SBPS_POPOUT = 0x0200,
    SBPS_DISABLED = 0x04000000,
};

// The frame's status bar as a row of panes addressed by index.
//
// Pane 0, when its identifier is ID_SEPARATOR, is the message pane: the
// status tips of menu items and toolbar buttons show there while the mouse is
// on them (QMainWindow routes them to its status bar). Every other pane is a
// label at the right end. An indicator pane (non-zero identifier) is sized by
// its string resource, which is also its first text; a separator pane is as
// wide as SetPaneInfo says, but never clips its text. A separator pane with no
// width and no text is not shown.
//
// ID_INDICATOR_NUM is kept by UpdateIndicators: "NUM" while Num Lock is known
// to be on, empty otherwise.
class CStatusBar : public QStatusBar {
    Q_OBJECT

public:
    explicit CStatusBar(QWidget* pParent = nullptr);
    ~CStatusBar() override;

    // Replaces the panes; false for an empty list.
    bool SetIndicators(const QList<unsigned>& ids);
    int GetCount() const { return m_panes.size(); }
    int CommandToIndex(unsigned nID) const;

    void SetPaneInfo(int nIndex, unsigned nID, unsigned nStyle, int cxWidth);
    void GetPaneInfo(int nIndex, unsigned& nID, unsigned& nStyle, int& cxWidth) const;
    // bUpdate repaints the pane at once.
    bool SetPaneText(int nIndex, const QString& text, bool bUpdate = true);
    QString GetPaneText(int nIndex) const;
    // The label of a pane other than the message pane (nullptr for that one).
    QLabel* PaneLabel(int nIndex) const;

    void UpdateIndicators();
    // The indicators as the program goes idle: read again only where their
    // changes are not reported.
    void OnIdleUpdateIndicators();

    // A progress bar before the panes, labelled with text: done of total, or a
    // busy bar while total is 0 (not known). EndProgress removes it.
    void ShowProgress(const QString& text, qint64 nDone, qint64 nTotal);
    void EndProgress();
    QProgressBar* GetProgressBar() const { return m_pProgress; }

    // Replaces the Num Lock reading (tests); an empty function restores the
    // real one, which reads the keyboard LEDs the kernel exposes.
    static void SetNumLockSource(std::function<bool()> source);

private:
    struct Pane {
        unsigned nID = 0;
        unsigned nStyle = SBPS_NORMAL;
        int cxWidth = 0;
        QString text;
        QLabel* pLabel = nullptr;
    };

    void ApplyPane(const Pane& pane);
    bool IsMessagePane(int nIndex) const { return nIndex == 0 && m_panes[0].nID == 0; }

    QList<Pane> m_panes;
    QProgressBar* m_pProgress = nullptr;
    bool m_bKeyboardWatched = false;
};
