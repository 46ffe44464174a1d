#pragma once

class QTableView;

// Sets up a table that lists things found in a document, one row each (the
// Strings panel, Find in All Encodings, Relative Search): whole rows selected
// one at a time, nothing edited in place, rows one line of text high with no
// row numbers, the last column taking the room left.
void SetUpListTable(QTableView* pTable);
