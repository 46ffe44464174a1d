// The piece table over a 1 GiB file read in blocks (run by hand):
//   - typing one byte at the start, and its undo, over one piece and over
//     100,000 pieces, against nothing: the target is 5 ms;
//   - saving the file with one byte changed (temporary file, fsync, rename,
//     folder sync) against `cp FILE COPY` and an fsync of the copy, the two
//     alternating in each round;
//   - Find of an 8-byte pattern that does not occur, block by block through
//     the pieces, against the scan of the whole file in one buffer, alternating.
//   - Ctrl+End in 1 GiB of 0xCD (a lead byte in every double-byte code page)
//     opened as the program opens it: the last screen's 50 rows formatted by
//     a row formatter that knows nothing yet, once the guess on open has read
//     the file, against the same in a document whose guess was stopped at
//     once (every block of the run read to find where it starts), alternating,
//     and against the first screen. The 0xCD file is made in DIR too.
//   - the guess on open over a 64 GiB sparse file (made in DIR, removed after):
//     how long it reads, the peak resident memory, and a screen of rows at
//     random places formatted while it reads against the same once it ended.
// The file is made once in DIR (default /tmp) and left for the next run.
//   bench_pieces [DIR] [ROUNDS] [typing|find|save|leadruns|sparse]   (sparse: only when named)

#include "archive.h"
#include "bytepattern.h"
#include "diskfile.h"
#include "fileblocks.h"
#include "hexdoc.h"
#include "piecetable.h"
#include "rowformat.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 kLength = qint64(1) << 30;

double Seconds(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e9;
}

void Report(const char* what, std::vector<double> times, double nScale = 1.0, const char* unit = "s")
{
    std::sort(times.begin(), times.end());
    std::printf("%-44s min %8.4f  median %8.4f  max %8.4f %s\n", what, times.front() * nScale,
                times[times.size() / 2] * nScale, times.back() * nScale, unit);
}

QString MakeFile(const QString& dir)
{
    const QString path = dir + QStringLiteral("/bench_pieces-1GiB.bin");
    if (QFileInfo(path).size() == kLength)
        return path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QRandomGenerator gen(1);
    std::vector<quint32> block(std::size_t(1) << 18);
    for (qint64 n = 0; n < kLength; n += qint64(block.size() * 4)) {
        gen.fillRange(block.data(), qsizetype(block.size()));
        file.write(reinterpret_cast<const char*>(block.data()), qint64(block.size() * 4));
    }
    return path;
}

std::shared_ptr<CFileBlocks> Open(const QString& path)
{
    auto pFile = std::make_shared<CFileBlocks>();
    pFile->Open(path);
    return pFile;
}

void Typing(const QString& path, int nRounds)
{
    for (const int nPieces : {1, 100000}) {
        CPieceTable table(Open(path));
        QRandomGenerator gen(2);
        for (int i = 1; i < nPieces; i += 2) {
            const std::uint8_t b = std::uint8_t(i);
            table.Replace(qint64(gen.bounded(quint64(kLength - 1))) | 1, 1, &b, 1);
        }
        std::vector<double> typed;
        std::vector<double> undone;
        for (int r = 0; r < nRounds; ++r) {
            const std::uint8_t b = 'x';
            std::optional<CPieceStep> step;
            typed.push_back(Seconds([&] { step = table.Replace(0, 0, &b, 1); }));
            undone.push_back(Seconds([&] { table.Undo(*step); }));
        }
        char what[80];
        std::snprintf(what, sizeof what, "type a byte at 0 of 1 GiB, %zu pieces", table.Pieces().size());
        Report(what, typed, 1e3, "ms");
        std::snprintf(what, sizeof what, "undo it, %zu pieces", table.Pieces().size());
        Report(what, undone, 1e3, "ms");
    }
}

void SyncFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0)
        qFatal("cannot sync %s", qPrintable(path));
    ::close(fd);
}

void Save(const QString& path, int nRounds)
{
    CPieceTable table(Open(path));
    const std::uint8_t b = 0x5A;
    table.Replace(kLength / 2, 1, &b, 1);
    const QString saved = path + QStringLiteral(".saved");
    const QString copy = path + QStringLiteral(".copy");
    std::vector<double> ours;
    std::vector<double> peer;
    std::vector<double> ratios;
    for (int r = 0; r < nRounds; ++r) {
        QFile::remove(saved);
        QFile::remove(copy);
        ::sync();
        const auto save = [&] {
            ours.push_back(Seconds([&] {
                AfxWriteFileSafely(saved, [&](QFileDevice& file) {
                    CArchive ar(&file, CArchive::store, saved);
                    table.Write(ar);
                });
            }));
        };
        const auto cp = [&] {
            peer.push_back(Seconds([&] {
                if (QProcess::execute(QStringLiteral("cp"), {path, copy}) != 0)
                    qFatal("cp failed");
                SyncFile(copy);
            }));
        };
        if (r % 2 == 0) {
            save();
            ::sync();
            cp();
        } else {
            cp();
            ::sync();
            save();
        }
        ratios.push_back(ours.back() / peer.back());
    }
    Report("save 1 GiB, one byte changed", ours);
    Report("cp FILE COPY + fsync of the copy", peer);
    Report("ratio per round", ratios, 1.0, "x");
    QFile::remove(saved);
    QFile::remove(copy);
}

void Find(const QString& path, int nRounds)
{
    const QByteArray pattern = QByteArray::fromHex("7117C39E01F0772B");
    const CBytePattern scan(pattern, true);
    CPieceTable table(Open(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    const QByteArray whole = file.readAll();
    std::vector<double> ours;
    std::vector<double> peer;
    std::vector<double> ratios;
    for (int r = 0; r < nRounds; ++r) {
        const auto pieces = [&] {
            ours.push_back(Seconds([&] {
                qint64 nFound = 0;
                if (table.Find(scan, 0, true, nFound) != CPieceTable::FindResult::NotFound)
                    qFatal("unexpected result");
            }));
        };
        const auto buffer = [&] {
            peer.push_back(Seconds([&] {
                std::uint32_t nFound = 0;
                if (scan.FindDown(reinterpret_cast<const std::uint8_t*>(whole.constData()), std::uint32_t(whole.size()),
                                  0, nFound))
                    qFatal("unexpected result");
            }));
        };
        if (r % 2 == 0) {
            pieces();
            buffer();
        } else {
            buffer();
            pieces();
        }
        ratios.push_back(peer.back() / ours.back());
    }
    Report("find, absent 8 bytes, through the pieces", ours);
    Report("the same over the whole buffer", peer);
    Report("speed of the pieces as a share of the buffer", ratios, 1.0, "x");
}

// The screen of 50 rows from nFirst, as a window paints it after a jump.
void FormatScreen(const CHexDoc& doc, qint64 nFirst)
{
    CRowFormat format;
    bool bContinued = format.IsRowContinued(doc, nFirst, true);
    char row[CRowFormat::kMaxRowLength];
    for (qint64 r = nFirst; r < nFirst + 50; ++r)
        CRowFormat::FormatRow(doc, r, row, bContinued);
}

void OpenCd(CHexDoc& doc, const QString& path, bool bGuess)
{
    if (!doc.OnOpenDocument(path) || !doc.IsPieceMode())
        qFatal("cannot open %s as pieces", qPrintable(path));
    if (!bGuess)
        doc.CancelDetection();
    while (doc.IsDetecting())
        QThread::msleep(5);
    doc.SetCodePage(936);
}

void LeadRuns(const QString& dir, int nRounds)
{
    const QString path = dir + QStringLiteral("/bench_pieces-1GiB-CD.bin");
    if (QFileInfo(path).size() != kLength) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        const QByteArray block(1 << 20, char(0xCD));
        for (qint64 n = 0; n < kLength; n += block.size())
            file.write(block);
    }
    std::vector<double> guess;
    std::vector<double> known;
    std::vector<double> unknown;
    std::vector<double> first;
    std::vector<double> ratios;
    for (int r = 0; r < nRounds; ++r) {
        CHexDoc indexed;
        guess.push_back(Seconds([&] { OpenCd(indexed, path, true); }));
        CHexDoc plain;
        OpenCd(plain, path, false);
        const qint64 nLast = indexed.Length() / 16 + 1 - 50;
        const auto withIndex = [&] { known.push_back(Seconds([&] { FormatScreen(indexed, nLast); })); };
        const auto without = [&] { unknown.push_back(Seconds([&] { FormatScreen(plain, nLast); })); };
        if (r % 2 == 0) {
            withIndex();
            without();
        } else {
            without();
            withIndex();
        }
        first.push_back(Seconds([&] { FormatScreen(indexed, 0); }));
        ratios.push_back(known.back() / first.back());
    }
    Report("open 1 GiB of 0xCD and the guess on open", guess);
    Report("Ctrl+End, the guess's blocks known", known, 1e3, "ms");
    Report("Ctrl+End, nothing known", unknown, 1e3, "ms");
    Report("the first screen", first, 1e3, "ms");
    Report("Ctrl+End known / first screen", ratios, 1.0, "x");
}

void Sparse(const QString& dir, int nRounds)
{
    const QString path = dir + QStringLiteral("/bench_pieces-64GiB-sparse.bin");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(64) << 30))
            qFatal("cannot make %s", qPrintable(path));
    }
    QRandomGenerator gen(3);
    std::vector<double> guess;
    std::vector<double> during;
    std::vector<double> after;
    for (int r = 0; r < nRounds; ++r) {
        CHexDoc doc;
        QElapsedTimer timer;
        timer.start();
        if (!doc.OnOpenDocument(path))
            qFatal("cannot open %s", qPrintable(path));
        const qint64 nRows = doc.Length() / 16;
        while (doc.IsDetecting()) {
            const qint64 nRow = qint64(gen.bounded(quint64(nRows - 50)));
            during.push_back(Seconds([&] { FormatScreen(doc, nRow); }));
            QThread::msleep(20);
        }
        guess.push_back(timer.nsecsElapsed() / 1e9);
        for (int i = 0; i < 20; ++i) {
            const qint64 nRow = qint64(gen.bounded(quint64(nRows - 50)));
            after.push_back(Seconds([&] { FormatScreen(doc, nRow); }));
        }
    }
    QFile::remove(path);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    Report("the guess on open over 64 GiB sparse", guess);
    Report("a screen at random while it reads", during, 1e3, "ms");
    Report("a screen at random after it", after, 1e3, "ms");
    std::printf("peak resident memory %.1f MiB\n", usage.ru_maxrss / 1024.0);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    const int nRounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    const QString path = MakeFile(dir);
    const QString what = argc > 3 ? QString::fromLatin1(argv[3]) : QString();
    if (what.isEmpty() || what == QLatin1String("typing"))
        Typing(path, nRounds);
    if (what.isEmpty() || what == QLatin1String("find"))
        Find(path, nRounds);
    if (what.isEmpty() || what == QLatin1String("save"))
        Save(path, nRounds);
    if (what.isEmpty() || what == QLatin1String("leadruns"))
        LeadRuns(dir, nRounds);
    if (what == QLatin1String("sparse"))
        Sparse(dir, nRounds);
    return 0;
}
