// Without libFuzzer: runs a fuzz target's entry point on every file of the
// folders (or the files) given, so each past finding stays a test.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize);

int main(int argc, char* argv[])
{
    int nRun = 0;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        QStringList files;
        if (QFileInfo(arg).isDir()) {
            for (const QString& name : QDir(arg).entryList(QDir::Files, QDir::Name))
                files.append(arg + QLatin1Char('/') + name);
        } else {
            files.append(arg);
        }
        for (const QString& path : files) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
                return 1;
            }
            const QByteArray bytes = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
            ++nRun;
        }
    }
    std::printf("%d inputs replayed\n", nRun);
    return nRun > 0 ? 0 : 1;
}
