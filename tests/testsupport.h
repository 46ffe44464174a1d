#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Helpers shared by the tests. Linking this library also runs a static initialiser
// that selects the offscreen platform and points the settings profile at a fresh
// temporary folder, so no test ever touches the user's configuration.
namespace TestSupport {

// Folder that holds this test run's settings and scratch files.
QString scratchDir();

// Writes bytes to a new file in the scratch folder and returns its path.
QString writeScratchFile(const QString& name, const QByteArray& bytes);

QByteArray readFile(const QString& path);

// Whether a descriptor of this process still leads to a file that was at
// path and was removed or replaced (a rename over it) since: such a file keeps
// its room on the disk until its last descriptor closes.
bool holdsRemovedFile(const QString& path);

// A file of the kernel's under /sys that states a length (4096) and holds
// fewer bytes, or an empty string when there is none here.
QString sysFileShorterThanItsLength();

// A file system of nKiB KiB (tmpfs) mounted on a new folder in the scratch
// folder, for writes that meet a full disk, or mounted read-only; unmounted
// when it goes. Mounting needs root: where it cannot be done path() is empty
// and the test skips.
class TinyFileSystem {
public:
    explicit TinyFileSystem(int nKiB, bool bReadOnly = false);
    ~TinyFileSystem();
    TinyFileSystem(const TinyFileSystem&) = delete;
    TinyFileSystem& operator=(const TinyFileSystem&) = delete;

    QString path() const { return m_path; }

private:
    QString m_path;
};

// How a program run by runProgram ended; exitCode is -1 when it crashed or
// did not end within a minute.
struct ProgramResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program without a display, its messages in the given locale.
ProgramResult runProgram(const QString& program, const QStringList& args, const QString& locale = QStringLiteral("C"));

} // namespace TestSupport
