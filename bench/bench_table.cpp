// Character tables:
// - reading a table file of 10,000 entries (two-byte keys with an ideograph
//   each, and the printable ASCII bytes), best of ten;
// - a full repaint of the first and of the last screen of 1 GiB of random bytes
//   with that table shown, against the same window in GB, on the offscreen
//   platform: the walk by the longest key is found near the last screen
//   without reading from the start of the file.
//   bench_table [MiB]   (the document's length, 1024 unless given)

#include "chartable.h"
#include "hexdoc.h"
#include "hexview.h"
#include "viewwindow.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

QByteArray TableFile(int nEntries)
{
    QByteArray file = "# ASCII, then two-byte keys\n";
    for (int b = 0x20; b < 0x7F; ++b)
        file += QByteArray::number(b, 16).toUpper() + "=" + QString(QChar(b)).toUtf8() + "\n";
    for (int i = 0; i < nEntries - 95; ++i) {
        const int key = 0x8140 + i / 190 * 256 + i % 190;
        file += QByteArray::number(key, 16).toUpper() + "=" + QString(QChar(0x4E00 + i)).toUtf8() + "\n";
    }
    return file;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::uint32_t nMiB = argc > 1 ? std::uint32_t(std::max(1, std::atoi(argv[1]))) : 1024;

    const QByteArray file = TableFile(10000);
    auto pTable = std::make_shared<CCharTable>();
    const double load = BestSeconds(10, [&] {
        CCharTable table;
        if (!table.Parse(file))
            std::abort();
        *pTable = std::move(table);
    });
    std::printf("table of %zu entries (%lld bytes): read in %.2f ms\n", pTable->Entries().size(),
                static_cast<long long>(file.size()), load * 1e3);

    Window w(nMiB << 20);
    CHexView* v = w.pView.get();
    const auto firstAndLast = [&](const char* what) {
        v->OnVScroll(SB_TOP, 0, nullptr);
        const double first = BestSeconds(10, [&] { w.Repaint(); });
        v->OnVScroll(SB_BOTTOM, 0, nullptr);
        const double last = BestSeconds(10, [&] { w.Repaint(); });
        std::printf("repaint, %u MiB of random bytes, %s: first screen %.2f ms, last screen %.2f ms (%.2f x)\n", nMiB,
                    what, first * 1e3, last * 1e3, last / first);
    };
    firstAndLast("GB");
    w.doc.SetCharTable(pTable);
    firstAndLast("table");
    return 0;
}
