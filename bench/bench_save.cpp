// Save of a modified file through the document's whole save path (temporary
// file beside it, kernel copy of the file's pieces, fsync, rename, folder
// sync, the pieces reopened on the new file) against `cp FILE COPY` and an
// fsync of the copy alone, the two alternating which goes first in each round.
// The file is made of random bytes and flushed once; before each timed part
// the writes of the part before are flushed too, outside the time, so that
// neither pays for the other's. One byte is typed at the start before each
// save, as a person would, which leaves a piece of one typed byte and the
// file's own piece from offset 1 on.
//   bench_save [DIR] [MiB] [ROUNDS]   (default /tmp, 256, 5; the files are removed)

#include "hexdoc.h"
#include "randomfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// Flushes what is pending for path, if it is there.
void SyncFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

double LoadAverage()
{
    double load = -1;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1)
            load = -1;
        std::fclose(f);
    }
    return load;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    // The document watches the files it opens and saves, which needs the event loop's thread.
    QCoreApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    const qint64 nMiB = argc > 2 ? std::atoll(argv[2]) : 256;
    const int nRounds = argc > 3 ? std::atoi(argv[3]) : 5;
    const QString file = dir + "/zorbel-bench-save.bin";
    const QString copy = dir + "/zorbel-bench-save-copy.bin";
    if (nMiB <= 0 || nRounds <= 0 || !MakeRandomFile(file, nMiB << 20)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return 1;
    }
    SyncFile(file);
    CHexDoc doc;
    if (!doc.OnOpenDocument(file))
        return 1;
    // The copy alone is flushed (sync FILE fsyncs it): a plain sync would wait for
    // every write pending on the machine, the peer's figure then depending on others.
    const QByteArray cp = "cp '" + QFile::encodeName(file) + "' '" + QFile::encodeName(copy) + "' && sync '"
        + QFile::encodeName(copy) + "'";
    std::vector<double> saves, copies, ratios;
    std::printf("round   save (s)   cp + fsync (s)   ratio   load (1 min)\n");
    for (int round = 0; round < nRounds; ++round) {
        const std::uint8_t b = std::uint8_t('0' + round);
        if (doc.SetByte(0, b) != CHexDoc::EditResult::Done)
            return 1;
        double tSave = 0;
        double tCopy = 0;
        for (int i = 0; i < 2; ++i) {
            QFile::remove(copy);
            SyncFile(file);
            QElapsedTimer timer;
            timer.start();
            if ((round + i) % 2 == 0) {
                if (!doc.OnSaveDocument(file))
                    return 1;
                tSave = timer.nsecsElapsed() / 1e9;
            } else {
                if (std::system(cp.constData()) != 0)
                    return 1;
                tCopy = timer.nsecsElapsed() / 1e9;
            }
        }
        saves.push_back(tSave);
        copies.push_back(tCopy);
        ratios.push_back(tSave / tCopy);
        std::printf("%5d   %8.3f   %14.3f   %5.2f   %.2f\n", round + 1, tSave, tCopy, ratios.back(), LoadAverage());
    }
    std::printf("median  %8.3f   %14.3f   %5.2f   (ratio range %.2f-%.2f, target <= 1.5)\n", Median(saves),
                Median(copies), Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
    QFile::remove(file);
    QFile::remove(copy);
    return 0;
}
