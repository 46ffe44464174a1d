#include <QApplication>
#include <QMainWindow>

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: zorbel [OPTION] [FILE]\n"
    "A hex viewer and editor for files that hold Chinese and Japanese text.\n"
    "\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n";

bool HasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("Zorbel Version 1.4");
            return 0;
        }
    }
    if (!HasDisplay()) {
        std::fputs("zorbel: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set)\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Zorbel"));
    window.resize(900, 600);
    window.show();
    return app.exec();
}
