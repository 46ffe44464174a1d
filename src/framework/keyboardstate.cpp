#include "keyboardstate.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QObject>

#include <cstdint>
#include <utility>

#ifdef ZORBEL_HAVE_X11
#include <X11/XKBlib.h>
#endif

std::optional<bool> AfxGetNumLockIndicator()
{
#ifdef ZORBEL_HAVE_X11
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return std::nullopt;
    // The atom is the display's; one display serves the program's whole life.
    static const Atom numLock = XInternAtom(display, "Num Lock", False);
    int nState = 0;
    if (numLock == 0 || !XkbGetNamedIndicator(display, numLock, nullptr, &nState, nullptr, nullptr))
        return std::nullopt;
    return nState != 0;
#else
    return std::nullopt;
#endif
}

#ifdef ZORBEL_HAVE_X11
namespace {

// The server sends the keyboard extension's state notifications to every
// client that asked for them, whichever window has the focus; Qt asks for them
// for its own keyboard handling. A burst of them makes one call.
class CKeyboardStateFilter : public QObject, public QAbstractNativeEventFilter {
public:
    CKeyboardStateFilter(QObject* pOwner, int nXkbEvent, std::function<void()> onChange)
        : QObject(pOwner), m_nXkbEvent(nXkbEvent), m_onChange(std::move(onChange))
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t" || m_bPending)
            return false;
        // An XKB event: its response type (less the bit of a sent event) is
        // the extension's event code, its next byte the kind of notification.
        const auto* pEvent = static_cast<const std::uint8_t*>(message);
        if ((pEvent[0] & 0x7F) == m_nXkbEvent && pEvent[1] == XkbStateNotify) {
            m_bPending = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_bPending = false;
                    m_onChange();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    int m_nXkbEvent;
    std::function<void()> m_onChange;
    bool m_bPending = false;
};

} // namespace
#endif

bool AfxWatchKeyboardState(QObject* pOwner, std::function<void()> onChange)
{
#ifdef ZORBEL_HAVE_X11
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    int nOpcode = 0;
    int nEvent = 0;
    int nError = 0;
    int nMajor = XkbMajorVersion;
    int nMinor = XkbMinorVersion;
    if (!display || !XkbQueryExtension(display, &nOpcode, &nEvent, &nError, &nMajor, &nMinor))
        return false;
    new CKeyboardStateFilter(pOwner, nEvent, std::move(onChange));
    return true;
#else
    Q_UNUSED(pOwner);
    Q_UNUSED(onChange);
    return false;
#endif
}
