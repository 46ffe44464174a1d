#pragma once

#include <QByteArray>
#include <QString>

// Helpers shared by the tests. Linking this library also runs a static initialiser
// that selects the offscreen platform and points the settings profile at a fresh
// temporary folder, so no test ever touches the user's configuration.
namespace TestSupport {

// Folder that holds this test run's settings and scratch files.
QString scratchDir();

// Writes bytes to a new file in the scratch folder and returns its path.
QString writeScratchFile(const QString& name, const QByteArray& bytes);

QByteArray readFile(const QString& path);

} // namespace TestSupport
