// Loads a generated 1 GiB ASCII file into a document and detects its code page,
// against `cat FILE > /dev/null` on the same warm file.
//   bench_document [DIR]   (the file is made in DIR, default /tmp, and kept for reruns)

#include "codepage.h"
#include "hexdoc.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr qint64 kFileSize = 1ll << 30;

bool MakeAsciiFile(const QString& path)
{
    if (QFileInfo(path).size() == kFileSize)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = (i % 64 == 63) ? '\n' : char(' ' + (i * 7) % 94);
    for (qint64 done = 0; done < kFileSize; done += chunk.size())
        if (file.write(chunk) != chunk.size())
            return false;
    return true;
}

double CatSeconds(const QString& path)
{
    const QByteArray command = "cat '" + QFile::encodeName(path) + "' > /dev/null";
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (std::system(command.constData()) != 0)
            return -1;
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

long PeakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char* argv[])
{
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    const QString path = dir + "/zorbel-bench-1g.txt";
    if (!MakeAsciiFile(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const double cat = CatSeconds(path);
    const long baseKiB = PeakKiB();

    double best = 1e9;
    int cp = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        CHexDoc doc;
        if (!doc.OnOpenDocument(path))
            return 1;
        cp = DetectCodePage(doc.Data(), doc.GetSize());
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    const long peakMiB = (PeakKiB() - baseKiB) / 1024;
    std::printf("cat:                 %.3f s\n", cat);
    std::printf("load + detect:       %.3f s (%.2f x cat; target <= 1.5), code page %d\n", best, best / cat, cp);
    std::printf("peak memory growth:  %ld MiB for a %lld MiB file (target <= file + 64 MiB)\n", peakMiB,
                kFileSize >> 20);
    return 0;
}
