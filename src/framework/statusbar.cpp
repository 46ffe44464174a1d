#include "statusbar.h"

#include "afxres.h"
#include "keyboardstate.h"
#include "resources.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace {

constexpr int kTextPadding = 3;   // pixels between a pane's border and its text

std::function<bool()>& numLockSource()
{
    static std::function<bool()> source;
    return source;
}

// The keyboard LEDs the kernel exposes, for when the window system cannot tell;
// when there are none either Num Lock counts as off, since its state cannot be known.
bool ReadNumLockLeds()
{
    static const QStringList files = [] {
        QStringList list;
        const QDir dir(QStringLiteral("/sys/class/leds"));
        for (const QString& name : dir.entryList({QStringLiteral("*::numlock")}, QDir::AllEntries | QDir::System))
            list.append(dir.filePath(name + QStringLiteral("/brightness")));
        return list;
    }();
    for (const QString& path : files) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.readAll().trimmed().toInt() > 0)
            return true;
    }
    return false;
}

} // namespace

// Num Lock pressed while another program has the focus shows at once too.
CStatusBar::CStatusBar(QWidget* pParent) : QStatusBar(pParent)
{
    m_bKeyboardWatched = AfxWatchKeyboardState(this, [this] { UpdateIndicators(); });
}

CStatusBar::~CStatusBar() = default;

bool CStatusBar::SetIndicators(const QList<unsigned>& ids)
{
    for (const Pane& pane : std::as_const(m_panes))
        delete pane.pLabel;
    m_panes.clear();
    if (ids.isEmpty())
        return false;
    for (int i = 0; i < ids.size(); ++i) {
        Pane pane;
        pane.nID = ids[i];
        if (i == 0 && pane.nID == ID_SEPARATOR) {
            m_panes.append(pane);
            continue;
        }
        pane.pLabel = new QLabel(this);
        pane.pLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        pane.pLabel->setTextFormat(Qt::PlainText);
        pane.pLabel->setContentsMargins(kTextPadding, 0, kTextPadding, 0);
        pane.pLabel->setIndent(0);
        if (pane.nID != ID_SEPARATOR) {
            const QString text = AfxLoadString(pane.nID);
            pane.cxWidth = pane.pLabel->fontMetrics().horizontalAdvance(text);
            pane.text = pane.nID == ID_INDICATOR_NUM ? QString() : text;
        }
        addPermanentWidget(pane.pLabel);
        m_panes.append(pane);
        ApplyPane(pane);
    }
    if (m_bKeyboardWatched)
        UpdateIndicators();
    return true;
}

int CStatusBar::CommandToIndex(unsigned nID) const
{
    for (int i = 0; i < m_panes.size(); ++i)
        if (m_panes[i].nID == nID)
            return i;
    return -1;
}

void CStatusBar::SetPaneInfo(int nIndex, unsigned nID, unsigned nStyle, int cxWidth)
{
    if (nIndex < 0 || nIndex >= m_panes.size())
        return;
    Pane& pane = m_panes[nIndex];
    pane.nID = nID;
    pane.nStyle = nStyle;
    pane.cxWidth = std::max(0, cxWidth);
    if (pane.pLabel)
        ApplyPane(pane);
}

void CStatusBar::GetPaneInfo(int nIndex, unsigned& nID, unsigned& nStyle, int& cxWidth) const
{
    if (nIndex < 0 || nIndex >= m_panes.size())
        return;
    nID = m_panes[nIndex].nID;
    nStyle = m_panes[nIndex].nStyle;
    cxWidth = m_panes[nIndex].cxWidth;
}

bool CStatusBar::SetPaneText(int nIndex, const QString& text, bool bUpdate)
{
    if (nIndex < 0 || nIndex >= m_panes.size())
        return false;
    Pane& pane = m_panes[nIndex];
    if (!pane.pLabel) {
        showMessage(text);
        return true;
    }
    if (pane.text == text)
        return true;
    pane.text = text;
    ApplyPane(pane);
    if (bUpdate)
        pane.pLabel->repaint();
    return true;
}

QString CStatusBar::GetPaneText(int nIndex) const
{
    if (nIndex < 0 || nIndex >= m_panes.size())
        return QString();
    return m_panes[nIndex].pLabel ? m_panes[nIndex].text : currentMessage();
}

QLabel* CStatusBar::PaneLabel(int nIndex) const
{
    return nIndex >= 0 && nIndex < m_panes.size() ? m_panes[nIndex].pLabel : nullptr;
}

void CStatusBar::ApplyPane(const Pane& pane)
{
    QLabel* label = pane.pLabel;
    if (pane.nStyle & SBPS_NOBORDERS)
        label->setFrameStyle(QFrame::NoFrame);
    else
        label->setFrameStyle(QFrame::Panel | ((pane.nStyle & SBPS_POPOUT) ? QFrame::Raised : QFrame::Sunken));
    label->setText((pane.nStyle & SBPS_DISABLED) ? QString() : pane.text);
    const int textWidth = std::max(pane.cxWidth, label->fontMetrics().horizontalAdvance(label->text()));
    label->setFixedWidth(textWidth + 2 * (label->frameWidth() + kTextPadding));
    label->setVisible(pane.nID != ID_SEPARATOR || pane.cxWidth > 0 || !pane.text.isEmpty());
}

void CStatusBar::UpdateIndicators()
{
    const int index = CommandToIndex(ID_INDICATOR_NUM);
    if (index < 0)
        return;
    bool on = false;
    if (numLockSource())
        on = numLockSource()();
    else if (const std::optional<bool> indicator = AfxGetNumLockIndicator())
        on = *indicator;
    else
        on = ReadNumLockLeds();
    SetPaneText(index, on ? AfxLoadString(ID_INDICATOR_NUM) : QString(), false);
}

// Where the X server reports every change of the keyboard's state, the
// indicators were read when the panes were made and follow each report; asking
// the server again at every idle would be a round trip per key, and the first
// one, as the program starts, waits for the server to map the window.
void CStatusBar::OnIdleUpdateIndicators()
{
    if (!m_bKeyboardWatched || numLockSource())
        UpdateIndicators();
}

void CStatusBar::ShowProgress(const QString& text, qint64 nDone, qint64 nTotal)
{
    if (!m_pProgress) {
        m_pProgress = new QProgressBar(this);
        m_pProgress->setMinimumWidth(fontMetrics().horizontalAdvance(text) + 80);
        m_pProgress->setTextVisible(true);
        insertPermanentWidget(0, m_pProgress, 1);
    }
    // Per mille, which keeps lengths of 4 GiB within the bar's int range.
    m_pProgress->setRange(0, nTotal > 0 ? 1000 : 0);
    m_pProgress->setValue(nTotal > 0 ? int(std::min(nDone, nTotal) * 1000 / nTotal) : 0);
    m_pProgress->setFormat(nTotal > 0 ? text + QStringLiteral("  %p%") : text);
    m_pProgress->show();
}

void CStatusBar::EndProgress()
{
    delete m_pProgress;
    m_pProgress = nullptr;
}

void CStatusBar::SetNumLockSource(std::function<bool()> source)
{
    numLockSource() = std::move(source);
}
