#pragma once

#include "textencoder.h"

#include <QString>

// Reads a find or replace text: two-digit hex tokens separated by blanks,
// commas, tabs or line breaks make the bytes they name; any other text is its
// own characters written in the code page (see EncodeText), the whole text,
// however long: a pattern cut short would find and replace other bytes than the
// text says. With a character table, the text is written through it instead.
class CCharTable;
CEncodedText ParsePattern(const QString& strText, int nCodePage, const CCharTable* pTable = nullptr);
