#pragma once

#include <QByteArray>
#include <QString>

// File names on disk are bytes; this program carries them in QString. A name
// that is not valid UTF-8 (a GBK name from an archive made elsewhere) would
// lose its bytes to Qt's own conversions, so each byte that is not part of a
// valid UTF-8 sequence is kept as the lone low surrogate U+DC80 + (byte - 0x80).
// No valid UTF-8 decodes to a lone surrogate, so every name, valid or not,
// comes back to the same bytes.
//
// Qt's file classes encode a name themselves and turn those escapes into "?":
// a name holding them must reach the file system through AfxEncodeFileName
// only (the functions of diskfile.h do), be shown through AfxDisplayFileName
// and be stored through AfxFileNameToProfile.

// The name for the bytes name, as the file system gave them.
QString AfxDecodeFileName(const QByteArray& name);
// The bytes the file system knows the name path by.
QByteArray AfxEncodeFileName(const QString& path);
// Whether path holds a byte that is not UTF-8, so that Qt's file classes
// cannot be given it.
bool AfxHasRawBytes(const QString& path);
// path for people: each byte that is not UTF-8 as "\xHH".
QString AfxDisplayFileName(const QString& path);
// The last part of path, for people, as a window title.
QString AfxFileTitle(const QString& path);

// path made absolute against the working folder, "." and ".." taken out, as
// QFileInfo::absoluteFilePath does but without losing bytes.
QString AfxAbsoluteFilePath(const QString& path);
// The absolute path of the folder that holds path.
QString AfxFolderPath(const QString& path);

// A path as the settings profile keeps it: a UTF-8 name as it is, any other as
// a file URL of its percent-encoded bytes ("file:///a/%D6%D0.bin"), which
// AfxFileNameFromProfile turns back into the same name.
QString AfxFileNameToProfile(const QString& path);
QString AfxFileNameFromProfile(const QString& text);
