#include "mainfrm.h"

#include "winapp.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QWidget>

#include <limits>

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kWindowPos = QStringLiteral("WindowPos");

// How much of a stored window must lie on some screen for it to be reachable.
constexpr int kMinVisible = 32;

} // namespace

QString CMainFrame::Placement::ToString() const
{
    const QList<qint64> fields = {flags,           showCmd,         ptMinPosition.x(), ptMinPosition.y(),
                                  ptMaxPosition.x(), ptMaxPosition.y(), left,            top,
                                  right,           bottom};
    QStringList text;
    for (qint64 field : fields)
        text.append(QString::number(field));
    return text.join(QLatin1Char(','));
}

bool CMainFrame::Placement::FromString(const QString& text, Placement* pwp)
{
    // Numbers past the tenth are ignored, as the stored form is read.
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 10)
        return false;
    bool ok = true;
    auto number = [&](int i) {
        bool fieldOk = false;
        const int value = parts[i].trimmed().toInt(&fieldOk);
        ok = ok && fieldOk;
        return value;
    };
    auto unsignedNumber = [&](int i) {
        bool fieldOk = false;
        const quint32 value = parts[i].trimmed().toUInt(&fieldOk);
        ok = ok && fieldOk;
        return value;
    };
    Placement wp;
    wp.flags = unsignedNumber(0);
    wp.showCmd = unsignedNumber(1);
    wp.ptMinPosition = QPoint(number(2), number(3));
    wp.ptMaxPosition = QPoint(number(4), number(5));
    wp.left = number(6);
    wp.top = number(7);
    wp.right = number(8);
    wp.bottom = number(9);
    if (!ok)
        return false;
    *pwp = wp;
    return true;
}

QRect CMainFrame::Placement::NormalRect() const
{
    // In 64 bits: the stored corners may lie at the two ends of the int range.
    const qint64 width = qint64(right) - left;
    const qint64 height = qint64(bottom) - top;
    if (width <= 0 || height <= 0 || width > QWIDGETSIZE_MAX || height > QWIDGETSIZE_MAX)
        return QRect();
    return QRect(left, top, int(width), int(height));
}

bool CMainFrame::ReadWindowPlacement(Placement* pwp) const
{
    const QString text = AfxGetApp()->GetProfileString(kSettings, kWindowPos);
    return !text.isEmpty() && Placement::FromString(text, pwp);
}

void CMainFrame::WriteWindowPlacement(const Placement& wp)
{
    AfxGetApp()->WriteProfileString(kSettings, kWindowPos, wp.ToString());
}

bool CMainFrame::GetWindowPlacement(Placement* pwp) const
{
    if (!testAttribute(Qt::WA_WState_Created))
        return false;
    Placement wp;
    // A window closed while minimized comes back in the state it was minimized
    // from, not as an icon the user has to find.
    wp.showCmd = windowState().testFlag(Qt::WindowMaximized) ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    const QRect normal = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
    wp.left = normal.x();
    wp.top = normal.y();
    wp.right = normal.x() + normal.width();
    wp.bottom = normal.y() + normal.height();
    *pwp = wp;
    return true;
}

void CMainFrame::SetWindowPlacement(const Placement& wp)
{
    setGeometry(wp.NormalRect());
}

bool CMainFrame::IsOnScreen(const QRect& rect)
{
    if (rect.width() < kMinVisible || rect.height() < kMinVisible)
        return false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect visible = screen->geometry().intersected(rect);
        if (visible.width() >= kMinVisible && visible.height() >= kMinVisible)
            return true;
    }
    return false;
}

void CMainFrame::InitialShowWindow(int nCmdShow)
{
    Placement wp;
    if (!ReadWindowPlacement(&wp) || !IsOnScreen(wp.NormalRect())) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            resize(screen->availableGeometry().size() * 3 / 4);
        ShowWindow(nCmdShow);
        return;
    }
    if (nCmdShow != SW_SHOWNORMAL)
        wp.showCmd = quint32(nCmdShow);
    // The count stops at its largest value rather than starting again from 0.
    m_nPlacementFlags = wp.flags == std::numeric_limits<quint32>::max() ? wp.flags : wp.flags + 1;
    SetWindowPlacement(wp);
    ShowWindow(int(wp.showCmd));
}

void CMainFrame::ShowWindow(int nCmdShow)
{
    switch (nCmdShow) {
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
        showMinimized();
        break;
    case SW_SHOWMAXIMIZED:
        showMaximized();
        break;
    default:
        // Hiding is not among the choices: the program would run unseen.
        showNormal();
        break;
    }
}

void CMainFrame::OnClose()
{
    Placement wp;
    if (GetWindowPlacement(&wp)) {
        wp.flags = m_nPlacementFlags;
        WriteWindowPlacement(wp);
    }
    SavePanelLayout();
    CMDIFrameWnd::OnClose();
}
