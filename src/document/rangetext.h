#pragma once

#include <QString>

#include <cstdint>

class CHexDoc;
class CRowFormat;

// The bytes [nFirst, nEnd) of a document as the Unicode text its text column
// shows, for Copy as Text: in the document's code page, or through its
// character table when it shows one (CCharTable::Decode). Each character
// whose first byte is in the range goes in whole, a double-byte or UTF-8
// character begun by the range's last byte too; a byte that shows as '.'
// without being one, and a byte of a character begun before the range, goes
// in as U+FFFD. rows is the caller's row cache for the document (see
// CRowFormat::IsRowContinued).
QString RangeText(const CHexDoc& doc, CRowFormat& rows, qint64 nFirst, qint64 nEnd);
