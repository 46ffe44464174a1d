#pragma once

class QPrintDialog;
class QPrinter;

// Runs a print dialog on its printer and says whether it was accepted. Qt's
// dialog puts the printer picked in its list, with that printer's default
// paper, on the printer at once, and its Properties put the paper there when
// they close; a dialog that is cancelled leaves the printer as it was before.
bool AfxExecPrintDialog(QPrintDialog& dialog);

// Gives to what a print dialog can set on from: the output (printer or file),
// paper, colour, duplex, copies, page order and range.
void AfxCopyPrinterSettings(const QPrinter& from, QPrinter& to);
