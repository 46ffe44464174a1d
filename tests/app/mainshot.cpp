// Renders the whole main window, started as the program starts with FILE open,
// into a PNG: mainshot OUT.png FILE [SELECTED [GB|BIG5|SJIS]]. The interface
// language comes from the environment as it does for the program
// (LANG=ja_JP.UTF-8 mainshot ...). SELECTED bytes from the start of the file
// are selected, so that the toolbar shows Cut and Copy enabled; the last
// argument presses a code-page button. Settings go to a temporary
// folder; the user's own are neither read nor written. Runs headless:
// QT_QPA_PLATFORM=offscreen.
#include "hexapp.h"
#include "hexview.h"
#include "mainfrm.h"
#include "resource.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char* argv[])
{
    if (argc < 3) {
        QTextStream(stderr) << "Usage: mainshot OUT.png FILE [SELECTED]\n";
        return 2;
    }
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));

    QApplication qtApp(argc, argv);
    CHexApp app;
    app.SetCommandLine({QString::fromLocal8Bit(argv[2])});
    if (!app.InitInstance())
        return 1;
    CMainFrame* frame = app.GetMainFrame();
    frame->showNormal();
    frame->resize(900, 560);

    auto* view = qobject_cast<CHexView*>(frame->GetActiveView());
    if (!view) {
        QTextStream(stderr) << "mainshot: " << argv[2] << " did not open\n";
        return 1;
    }
    const int selected = argc > 3 ? atoi(argv[3]) : 0;
    if (selected > 0) {
        // Shift held down anchors the selection; each Right adds a byte.
        QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
        QCoreApplication::sendEvent(view, &shift);
        for (int i = 0; i < selected; ++i) {
            QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::ShiftModifier);
            QCoreApplication::sendEvent(view, &right);
        }
    }

    if (argc > 4) {
        const QByteArray codePage = argv[4];
        frame->ExecuteCommand(codePage == "BIG5" ? ID_CODEPAGE_BIG5
                              : codePage == "SJIS" ? ID_CODEPAGE_SJIS : ID_CODEPAGE_GB);
    }

    app.m_splash.DestroyWindow();
    for (long count = 0; count < 3; ++count) {
        QCoreApplication::processEvents();
        app.OnIdle(count);
    }
    QCoreApplication::processEvents();
    const bool saved = frame->grab().save(QString::fromLocal8Bit(argv[1]));
    // Ends as the program does: the main window closes, then the application.
    frame->close();
    app.ExitInstance();
    return saved ? 0 : 1;
}
