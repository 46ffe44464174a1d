// The piece table against a plain byte vector: a run of edits, undos and redos
// over a file read in blocks, each followed by a read of a range, then the
// whole undone and redone, and a search compared with the whole-buffer scan.
// The input: the block size, then the operations.

#include "bytepattern.h"
#include "fileblocks.h"
#include "fuzzinput.h"
#include "piecetable.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 kFileLength = 3000;

// The file every run reads, written once and removed at exit. The path is
// never freed, so the removal at exit cannot find it destroyed.
const QString& FilePath()
{
    static const QString& path = *new QString([] {
        const QString p = QDir::tempPath() + QStringLiteral("/zorbel-fuzz-pieces-%1.bin").arg(qint64(::getpid()));
        QByteArray bytes(kFileLength, Qt::Uninitialized);
        std::uint32_t x = 12345;
        for (char& c : bytes) {
            x = x * 1103515245u + 12345u;
            // Few values, lead bytes among them, so that searches find things.
            static const char kValues[] = "\xCD\x81" "aAbB\x00\x01";
            c = kValues[(x >> 16) % 8];
        }
        QFile file(p);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            std::abort();
        return p;
    }());
    static const int nRemoval = std::atexit([] { QFile::remove(path); });
    Q_UNUSED(nRemoval);
    return path;
}

QByteArray ReadAll(const CPieceTable& table)
{
    QByteArray bytes(table.GetLength(), '\0');
    FUZZ_CHECK(table.Read(0, table.GetLength(), reinterpret_cast<std::uint8_t*>(bytes.data())));
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    CFuzzInput in(pData, nSize);
    static const qint64 kBlocks[] = {1, 7, 64, 4096};
    const qint64 nBlock = kBlocks[in.Byte() % 4];
    auto pFile = std::make_shared<CFileBlocks>(nBlock, 4 * nBlock);
    pFile->Open(FilePath());
    CPieceTable table(pFile);
    const QByteArray original = ReadAll(table);
    QByteArray model = original;
    std::vector<CPieceStep> done;
    std::vector<CPieceStep> undone;
    std::vector<QByteArray> states{model};

    while (!in.AtEnd()) {
        const std::uint8_t nKind = in.Byte() % 8;
        if (nKind == 6 && !done.empty()) {
            table.Undo(done.back());
            undone.push_back(std::move(done.back()));
            done.pop_back();
            model = states[done.size()];
        } else if (nKind == 7 && !undone.empty()) {
            table.Redo(undone.back());
            done.push_back(std::move(undone.back()));
            undone.pop_back();
            model = states[done.size()];
        } else if (nKind == 5) {
            // Replace All's step: the same bytes at several places at once.
            const auto nLength = std::uint32_t(model.size());
            const qint64 nRemove = in.Below(4);
            const qint64 nInsert = in.Below(4);
            const QByteArray insert(qsizetype(nInsert), char(in.Byte()));
            std::vector<qint64> offsets;
            for (qint64 nAt = in.Below(nLength + 1); nAt + nRemove <= nLength && offsets.size() < 40;
                 nAt += nRemove + in.Below(70))
                offsets.push_back(nAt);
            if (offsets.empty())
                continue;
            done.push_back(table.ReplaceAt(offsets, nRemove, reinterpret_cast<const std::uint8_t*>(insert.constData()),
                                           nInsert));
            undone.clear();
            for (auto it = offsets.rbegin(); it != offsets.rend(); ++it)
                model.replace(*it, nRemove, insert);
            states.resize(done.size());
            states.push_back(model);
        } else {
            const auto nLength = std::uint32_t(model.size());
            const qint64 nPos = in.Below(nLength + 1);
            const qint64 nRemove = in.Below(std::min<std::uint32_t>(nLength - std::uint32_t(nPos), 300) + 1);
            const std::uint32_t nInsert = in.Below(300);
            const std::uint8_t nSeed = in.Byte();
            QByteArray insert(qsizetype(nInsert), Qt::Uninitialized);
            for (std::uint32_t i = 0; i < nInsert; ++i)
                insert[i] = char(nSeed + i * (nSeed | 1));
            std::optional<CPieceStep> step = table.Replace(
                nPos, nRemove, reinterpret_cast<const std::uint8_t*>(insert.constData()), nInsert);
            FUZZ_CHECK(step.has_value());
            FUZZ_CHECK(step->inserted.size() <= 3);
            done.push_back(std::move(*step));
            undone.clear();
            model.replace(nPos, nRemove, insert);
            states.resize(done.size());
            states.push_back(model);
        }
        FUZZ_CHECK(table.GetLength() == model.size());
        const std::uint32_t nAt = in.Below(std::uint32_t(model.size()) + 1);
        const std::uint32_t n = in.Below(std::uint32_t(model.size()) - nAt + 1);
        QByteArray hold;
        const std::uint8_t* p = table.Span(nAt, n, hold);
        FUZZ_CHECK(p && QByteArray::fromRawData(reinterpret_cast<const char*>(p), n) == model.mid(nAt, n));
    }
    FUZZ_CHECK(ReadAll(table) == model);

    // The search over the pieces, block by block, as over the whole buffer.
    const QByteArray pattern = model.mid(qsizetype(nSize % 97), qsizetype(1 + nSize % 3));
    if (!pattern.isEmpty()) {
        const CBytePattern scan(pattern, (nSize & 4) != 0, kFuzzCodePages[nSize % kFuzzCodePageCount]);
        CPieceTable::s_nFindBlock = 1 + qint64(nSize % 50);
        const auto nLength = std::uint32_t(model.size());
        const auto* pModel = reinterpret_cast<const std::uint8_t*>(model.constData());
        for (std::uint32_t nFrom = 0; nFrom <= nLength; nFrom += 1 + nLength / 16) {
            for (const bool bDown : {true, false}) {
                std::uint32_t nWant = 0;
                const bool bWant = bDown ? scan.FindDown(pModel, nLength, nFrom, nWant)
                                         : scan.FindUp(pModel, nLength, nFrom, nWant);
                qint64 nGot = -1;
                const CPieceTable::FindResult result = table.Find(scan, nFrom, bDown, nGot);
                FUZZ_CHECK(result == (bWant ? CPieceTable::FindResult::Found : CPieceTable::FindResult::NotFound));
                FUZZ_CHECK(!bWant || nGot == qint64(nWant));
            }
            FUZZ_CHECK(table.MatchesAt(scan, nFrom) == scan.MatchesAt(pModel, nLength, nFrom));
        }
        // Every occurrence past the last one, as Replace All takes them.
        std::vector<qint64> want;
        std::vector<qint64> got;
        const auto n = std::uint32_t(pattern.size());
        for (std::uint32_t nAt = 0; scan.FindDown(pModel, nLength, want.empty() ? 0 : nAt + n, nAt);)
            want.push_back(nAt);
        table.FindEach(scan, 0, [&got](qint64 nAt) {
            got.push_back(nAt);
            return true;
        });
        FUZZ_CHECK(got == want);
    }

    for (auto it = done.rbegin(); it != done.rend(); ++it)
        table.Undo(*it);
    FUZZ_CHECK(ReadAll(table) == original);
    for (const CPieceStep& step : done)
        table.Redo(step);
    FUZZ_CHECK(ReadAll(table) == model);
    return 0;
}
