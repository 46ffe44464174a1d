#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

std::unique_ptr<QTemporaryDir>& scratch()
{
    static std::unique_ptr<QTemporaryDir> dir;
    return dir;
}

// Runs before main(): the environment must be set before QApplication reads it.
const bool s_environmentReady = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    scratch() = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/zorbel-test-XXXXXX");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch()->path() + "/config"));
    return true;
}();

} // namespace

namespace TestSupport {

QString scratchDir()
{
    return scratch()->path();
}

QString writeScratchFile(const QString& name, const QByteArray& bytes)
{
    const QString path = scratchDir() + '/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write scratch file %s", qPrintable(path));
    return path;
}

bool holdsRemovedFile(const QString& path)
{
    const QByteArray removed = QFile::encodeName(QFileInfo(path).absoluteDir().canonicalPath() + '/'
                                                 + QFileInfo(path).fileName())
        + " (deleted)";
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[4096];
        const ssize_t n = ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target);
        if (n > 0 && QByteArray(target, n) == removed)
            return true;
    }
    return false;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QString sysFileShorterThanItsLength()
{
    for (const char* candidate : {"/sys/kernel/mm/transparent_hugepage/enabled", "/sys/power/state",
                                  "/sys/kernel/profiling", "/sys/devices/system/cpu/online"}) {
        const QString path = QString::fromLatin1(candidate);
        const qint64 nLength = QFileInfo(path).size();
        if (nLength > 0 && readFile(path).size() < nLength)
            return path;
    }
    return QString();
}

TinyFileSystem::TinyFileSystem(int nKiB, bool bReadOnly)
{
    static int s_nCount = 0;
    const QString path = scratchDir() + QStringLiteral("/tiny-%1").arg(++s_nCount);
    QDir().mkpath(path);
    QProcess mount;
    mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                          QStringLiteral("size=%1k%2").arg(nKiB).arg(bReadOnly ? ",ro" : ""), QStringLiteral("tmpfs"), path});
    if (mount.waitForFinished(10000) && mount.exitStatus() == QProcess::NormalExit && mount.exitCode() == 0)
        m_path = path;
}

TinyFileSystem::~TinyFileSystem()
{
    if (!m_path.isEmpty())
        QProcess::execute(QStringLiteral("umount"), {m_path});
}

ProgramResult runProgram(const QString& program, const QStringList& args, const QString& locale)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LC_ALL"));
    env.remove(QStringLiteral("LC_MESSAGES"));
    env.remove(QStringLiteral("LANGUAGE"));
    env.insert(QStringLiteral("LANG"), locale);
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(env);
    process.start(program, args);
    ProgramResult result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

} // namespace TestSupport
