#pragma once

// zorbel --print-pdf OUT.pdf [--codepage N] [--] FILE
//
// Prints FILE into OUT.pdf on A4 paper: the pages the Print command of a
// document window prints, header, rows and footer, with the code page the
// window would detect unless --codepage names one. OUT.pdf is written as a
// document is saved (AfxWriteFileSafely), so an earlier PDF there stays whole
// until the new one is; it is refused when it is FILE itself or no regular
// file. OUT.pdf "-" is standard output. Shows no window or dialog; without a
// display it draws offscreen. Returns the exit status: 0, 1 when FILE cannot
// be read or OUT.pdf cannot be written (with a one-line message), 2 for bad
// usage.
int PrintPdfMain(int argc, char* argv[]);
