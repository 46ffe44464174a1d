#pragma once

// The random file the benchmarks of opening and saving work on, for several of
// them to share.

#include <QFile>
#include <QRandomGenerator>
#include <QString>

#include <algorithm>

// Writes nLength random bytes (the same for the same seed) to path; false when
// that cannot be done.
inline bool MakeRandomFile(const QString& path, qint64 nLength, quint32 nSeed = 7)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    QRandomGenerator gen(nSeed);
    for (qint64 done = 0; done < nLength; done += chunk.size()) {
        gen.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
        if (file.write(chunk.constData(), std::min<qint64>(chunk.size(), nLength - done)) <= 0)
            return false;
    }
    return file.flush();
}
