#pragma once

#include <QString>

class QPrinter;

// Qt's PDF writer does not report failed writes: on a full disk it leaves a
// truncated file and its painter still ends with success. CheckPrintFile reads
// back the file a printer wrote after its painter has ended. The PDF is whole
// when it ends with its trailer and the trailer's "startxref" offset points at
// the cross-reference table, which a lost write anywhere before it would move.
// A file that is not whole is removed, and the returned message for the user
// names it ("Disk full while accessing %1." when no room is left on its file
// system). Returns an empty string when the file is whole, or when the printer
// writes no file of its own; output that is not a regular file (a pipe,
// /dev/stdout) cannot be read back and is taken as written.
QString CheckPrintFile(const QPrinter& printer);

// The same check for the PDF file at path. With shownAs, the file at path is
// one being written for shownAs (such as /proc/self/fd/N, open on a temporary
// file the safe writer will rename): the message names shownAs, the room left
// is that of shownAs's folder, and the file is left for its writer to remove.
QString CheckPdfFile(const QString& path, const QString& shownAs = QString());
