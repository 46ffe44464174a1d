#include "keyboardstate.h"

#include <QGuiApplication>

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
