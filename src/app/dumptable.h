#pragma once

class CCharTable;
class CFileReader;

// The rows of --dump --table: as --dump prints them, with the text column read
// through a character table (CTableRow). Returns false once the output cannot
// be written.
bool DumpThroughTable(CFileReader& reader, const CCharTable& table);
