// Renders a document window's view of a file into a PNG, for looking at the
// painting by eye: viewshot FILE OUT.png [WIDTH HEIGHT [CODEPAGE]].
#include "hexdoc.h"
#include "hexview.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        QTextStream(stderr) << "Usage: viewshot FILE OUT.png [WIDTH HEIGHT [CODEPAGE]]\n";
        return 2;
    }
    CHexDoc doc;
    if (!doc.OnOpenDocument(QString::fromLocal8Bit(argv[1])))
        return 1;
    CHexView view;
    view.AttachDocument(&doc);
    view.Create();
    view.OnInitialUpdate();
    if (argc > 5) {
        const QByteArray cp = argv[5];
        view.OnCmdMsg(cp == "950" ? 32772 : cp == "932" ? 32773 : cp == "65001" ? 33303 : 32771, nullptr);
    }
    view.resize(argc > 4 ? atoi(argv[3]) : 720, argc > 4 ? atoi(argv[4]) : 400);
    view.show();
    QApplication::processEvents();
    return view.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
