// Opening, typing in and saving large files, each against a reference measured
// in the same run, the runs interleaved:
//   - opening 1 GiB of random bytes and a 64 GiB sparse file and reading their
//     first screen (64 rows), against the same for a 1 KiB file;
//   - typing one byte at the start of the 1 GiB document, and its undo;
//   - saving the 1 GiB document with one byte changed (temporary file, fsync,
//     rename, folder sync) against `cp FILE COPY && sync COPY` of the same
//     file, the copy alone flushed;
//   - writing one changed byte of that file in place (journal of the old byte,
//     synced; the byte; the file synced; the journal removed), against one
//     synced write of a byte to a small file, which is what the journal's
//     sync alone costs.
//   bench_files [DIR] [ROUNDS]   (files are made in DIR, default /tmp, and removed)

#include "hexdoc.h"
#include "inplacewrite.h"
#include "randomfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

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
    std::printf("%-40s min %.3f ms  median %.3f ms  max %.3f ms\n", what, 1e3 * times.front(),
                1e3 * times[times.size() / 2], 1e3 * times.back());
}

void ReportRatios(const char* what, std::vector<double> ratios)
{
    std::sort(ratios.begin(), ratios.end());
    std::printf("%-40s %.2f - %.2f (median %.2f)\n", what, ratios.front(), ratios.back(), ratios[ratios.size() / 2]);
}

// Opens path and reads what the first window shows, as the rows do: the
// seconds that took, -1 on failure. Closing the document is not counted.
double OpenAndShow(const QString& path)
{
    CHexDoc doc;
    return Seconds([&] {
        if (!doc.OnOpenDocument(path))
            return false;
        QByteArray hold;
        for (qint64 nRow = 0; nRow < 64; ++nRow) {
            if (!doc.Span(nRow * 16, 16 + 3, hold))
                return false;
        }
        return true;
    });
}

} // namespace

int main(int argc, char* argv[])
{
    // The document watches the files it opens and saves, which needs the event loop's thread.
    QCoreApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    const int nRounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const QString big = dir + "/zorbel-bench-1g.bin";
    const QString small = dir + "/zorbel-bench-1k.bin";
    const QString sparse = dir + "/zorbel-bench-64g.bin";
    const QString copy = dir + "/zorbel-bench-copy.bin";
    if (!MakeRandomFile(big, qint64(1) << 30) || !MakeRandomFile(small, 1024)) {
        std::fprintf(stderr, "cannot write the files in %s\n", qPrintable(dir));
        return 1;
    }
    QFile sparseFile(sparse);
    const bool bSparse = sparseFile.open(QIODevice::WriteOnly) && sparseFile.resize(qint64(64) << 30);
    sparseFile.close();

    std::vector<double> opensBig, opensSparse, opensSmall, ratiosBig, ratiosSparse;
    std::vector<double> types, undos, saves, copies, ratios, inPlace, journalSyncs;
    CHexDoc doc;
    if (!doc.OnOpenDocument(big))
        return 1;
    // The copy alone is flushed (sync FILE fsyncs it): a plain sync would wait for
    // every write pending on the machine, the peer's figure then depending on others.
    const QByteArray cp = "rm -f '" + QFile::encodeName(copy) + "' && cp '" + QFile::encodeName(big) + "' '"
        + QFile::encodeName(copy) + "' && sync '" + QFile::encodeName(copy) + "'";
    for (int round = 0; round < nRounds; ++round) {
        // Alternate which goes first, so that neither always follows the other.
        for (int i = 0; i < 2; ++i) {
            if ((round + i) % 2 == 0) {
                opensSmall.push_back(OpenAndShow(small));
            } else {
                opensBig.push_back(OpenAndShow(big));
                if (bSparse)
                    opensSparse.push_back(OpenAndShow(sparse));
            }
        }
        ratiosBig.push_back(opensBig.back() / opensSmall.back());
        if (bSparse)
            ratiosSparse.push_back(opensSparse.back() / opensSmall.back());

        for (int i = 0; i < 20; ++i) {
            const std::uint8_t b = std::uint8_t(i);
            CEditState state;
            types.push_back(Seconds([&] { return doc.ReplaceBytes(0, 0, &b, 1, {}) == CHexDoc::EditResult::Done; }));
            undos.push_back(Seconds([&] { return doc.Undo(state) == CHexDoc::EditResult::Done; }));
        }

        doc.SetByte(std::uint32_t(round), std::uint8_t(round));
        double tSave = 0;
        double tCopy = 0;
        if (round % 2 == 0) {
            tSave = Seconds([&] { return doc.OnSaveDocument(big); });
            tCopy = Seconds([&] { return std::system(cp.constData()) == 0; });
        } else {
            tCopy = Seconds([&] { return std::system(cp.constData()) == 0; });
            tSave = Seconds([&] { return doc.OnSaveDocument(big); });
        }
        saves.push_back(tSave);
        copies.push_back(tCopy);
        ratios.push_back(tSave / tCopy);
        QFile::remove(copy);
    }
    // In place last: writing the file behind the document changes it under
    // the document, which would then refuse its saves.
    const qint64 nBigLength = QFileInfo(big).size();
    const QByteArray scratch = QFile::encodeName(dir + "/zorbel-bench-sync.bin");
    for (int round = 0; round < nRounds; ++round) {
        const std::vector<CInPlaceChange> change = {{qint64(round) * 4096 + 7, QByteArray(1, char(round))}};
        const auto writeInPlace = [&] {
            try {
                AfxWriteInPlace(big, nBigLength, change);
                return true;
            } catch (...) {
                return false;
            }
        };
        // What the journal's sync costs alone: one byte written and synced.
        const auto syncOneByte = [&] {
            const int fd = ::open(scratch.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            const bool bOk = fd >= 0 && ::write(fd, "x", 1) == 1 && ::fsync(fd) == 0;
            if (fd >= 0)
                ::close(fd);
            return bOk;
        };
        if (round % 2 == 0) {
            inPlace.push_back(Seconds(writeInPlace));
            journalSyncs.push_back(Seconds(syncOneByte));
        } else {
            journalSyncs.push_back(Seconds(syncOneByte));
            inPlace.push_back(Seconds(writeInPlace));
        }
    }
    ::unlink(scratch.constData());
    Report("open 1 KiB, first screen", opensSmall);
    Report("open 1 GiB, first screen", opensBig);
    ReportRatios("  1 GiB / 1 KiB, per round:", ratiosBig);
    if (bSparse) {
        Report("open 64 GiB sparse, first screen", opensSparse);
        ReportRatios("  64 GiB / 1 KiB, per round (target <= 2):", ratiosSparse);
    }
    Report("type one byte at the start of 1 GiB", types);
    Report("its undo", undos);
    Report("save 1 GiB, one byte changed", saves);
    Report("cp + fsync of the copy, 1 GiB", copies);
    ReportRatios("save / (cp + fsync), per round (<= 1.5):", ratios);
    Report("write one byte of 1 GiB in place", inPlace);
    Report("  one synced byte (the journal's sync)", journalSyncs);
    QFile::remove(big);
    QFile::remove(small);
    QFile::remove(sparse);
    return 0;
}
