#pragma once

class QString;

// The command line of the commands that print a file without a window:
//   --dump [--codepage N] FILE
//   --print-pdf OUT.pdf [--codepage N] FILE
// The command's own option may stand anywhere among the others.
struct CFileCommandLine {
    const char* pszPath = nullptr;
    const char* pszOut = nullptr;   // the command option's value, when it takes one
    int nCodePage = 0;              // 0: the code page the window would detect
};

// Reads argv for the command pszCommand ("--dump", "--print-pdf"), whose option
// is followed by an output file when bTakesOutput. Returns 0, or 2 after writing
// the problem and pszUsage to standard error.
int ParseFileCommandLine(int argc, char* argv[], const char* pszCommand, bool bTakesOutput, const char* pszUsage,
                         CFileCommandLine& cmd);

// Writes "zorbel: " and text as one line to standard error.
void ReportError(const QString& text);
