// The view under random keys, clicks, drags and edits, against a byte model
// (tests/view/editsession.h). The input: the starting bytes' length and bytes,
// then the choices of each step.

#include "editsession.h"
#include "fuzzinput.h"
#include "syslang.h"

#include <QApplication>

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    static int argc = 1;
    static char name[] = "fuzz_view";
    static char* argv[] = {name, nullptr};
    static QApplication* pApp = [] {
        SetSystemLocaleOverride("en_US");
        return new QApplication(argc, argv);
    }();
    Q_UNUSED(pApp);

    CFuzzInput in(pData, nSize);
    std::size_t nLength = in.Byte() % 100;
    const std::uint8_t* pBytes = in.Take(nLength);
    CEditSession session(QByteArray(reinterpret_cast<const char*>(pBytes), qsizetype(nLength)));
    const QString why = session.Run(in, 60);
    if (!why.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(why));
    FUZZ_CHECK(why.isEmpty());
    return 0;
}
