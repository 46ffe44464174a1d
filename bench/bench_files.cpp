// Loading and saving large files, each against a reference measured in the same
// run, the runs interleaved:
//   - loading 1 GiB of random bytes into a document with and without the
//     huge-page advice on its buffer;
//   - saving a modified 256 MiB document (temporary file, fsync, rename, folder
//     sync) against `cp FILE COPY && sync COPY` of the same file, the copy
//     alone flushed.
//   bench_files [DIR] [ROUNDS]   (files are made in DIR, default /tmp, and removed)

#include "hexdoc.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

bool MakeRandomFile(const QString& path, qint64 nLength)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    QRandomGenerator gen(7);
    for (qint64 done = 0; done < nLength; done += chunk.size()) {
        gen.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
        if (file.write(chunk) != chunk.size())
            return false;
    }
    return true;
}

double Seconds(const std::function<bool()>& run)
{
    QElapsedTimer timer;
    timer.start();
    if (!run())
        return -1;
    return timer.nsecsElapsed() / 1e9;
}

void Report(const char* what, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    std::printf("%-34s min %.3f s  median %.3f s  max %.3f s\n", what, times.front(), times[times.size() / 2],
                times.back());
}

} // namespace

int main(int argc, char* argv[])
{
    // The document watches the files it opens and saves, which needs the event loop's thread.
    QCoreApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    const int nRounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const QString big = dir + "/zorbel-bench-load.bin";
    const QString save = dir + "/zorbel-bench-save.bin";
    const QString copy = dir + "/zorbel-bench-copy.bin";
    if (!MakeRandomFile(big, qint64(1) << 30) || !MakeRandomFile(save, qint64(256) << 20)) {
        std::fprintf(stderr, "cannot write the files in %s\n", qPrintable(dir));
        return 1;
    }

    std::vector<double> withAdvice, withoutAdvice, saves, copies, ratios;
    const auto load = [&big](bool bHuge) {
        return Seconds([&] {
            CHexDoc::s_bHugePages = bHuge;
            CHexDoc doc;
            return doc.OnOpenDocument(big);
        });
    };
    CHexDoc doc;
    if (!doc.OnOpenDocument(save))
        return 1;
    // The copy alone is flushed (sync FILE fsyncs it): a plain sync would wait for
    // every write pending on the machine, the peer's figure then depending on others.
    const QByteArray cp = "rm -f '" + QFile::encodeName(copy) + "' && cp '" + QFile::encodeName(save) + "' '"
        + QFile::encodeName(copy) + "' && sync '" + QFile::encodeName(copy) + "'";
    for (int round = 0; round < nRounds; ++round) {
        // Alternate which goes first, so that neither always follows the other.
        if (round % 2 == 0) {
            withAdvice.push_back(load(true));
            withoutAdvice.push_back(load(false));
        } else {
            withoutAdvice.push_back(load(false));
            withAdvice.push_back(load(true));
        }
        doc.SetByte(std::uint32_t(round), std::uint8_t(round));
        doc.SetModifiedFlag(true);
        const double tSave = Seconds([&] { return doc.OnSaveDocument(save); });
        const double tCopy = Seconds([&] { return std::system(cp.constData()) == 0; });
        saves.push_back(tSave);
        copies.push_back(tCopy);
        ratios.push_back(tSave / tCopy);
        QFile::remove(copy);
    }
    Report("load 1 GiB, huge-page advice", withAdvice);
    Report("load 1 GiB, no advice", withoutAdvice);
    Report("save 256 MiB", saves);
    Report("cp + fsync of the copy 256 MiB", copies);
    std::sort(ratios.begin(), ratios.end());
    std::printf("save / (cp + fsync of the copy), per round: %.2f - %.2f (median %.2f; target <= 1.5)\n", ratios.front(),
                ratios.back(), ratios[ratios.size() / 2]);
    QFile::remove(big);
    QFile::remove(save);
    return 0;
}
