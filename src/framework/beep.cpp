#include "beep.h"

#include <QApplication>

namespace {

BeepHook& hook()
{
    static BeepHook current;
    return current;
}

} // namespace

void MessageBeep(unsigned nType)
{
    if (hook())
        hook()(nType);
    else
        QApplication::beep();
}

BeepHook AfxSetBeepHook(BeepHook next)
{
    BeepHook previous = std::move(hook());
    hook() = std::move(next);
    return previous;
}
