#include "afxmsg.h"

#include <cstdio>

namespace {

MessageBoxHandler& handler()
{
    static MessageBoxHandler current;
    return current;
}

} // namespace

int AfxMessageBox(const QString& text, unsigned type)
{
    if (handler())
        return handler()(text, type);
    std::fprintf(stderr, "%s\n", qPrintable(text));
    switch (type & MB_TYPEMASK) {
    case MB_YESNOCANCEL:
    case MB_OKCANCEL:
        return IDCANCEL;
    case MB_YESNO:
        return IDNO;
    default:
        return IDOK;
    }
}

MessageBoxHandler AfxSetMessageBoxHandler(MessageBoxHandler next)
{
    MessageBoxHandler previous = std::move(handler());
    handler() = std::move(next);
    return previous;
}
