#pragma once

// zorbel --find TEXT [--encoding NAME]... [--relative] [--] FILE...
//
// Prints FILE:OFFSET:ENCODING for each place TEXT stands in each FILE, the
// offset in hexadecimal (at least 8 digits), in the order of the offsets and
// at one offset in the order GB, BIG5, SJIS, UTF-8, UTF-16LE, UTF-16BE (see
// CEncodedSearch); --encoding, which may be given more than once, keeps to the
// encodings it names. An encoding that cannot hold TEXT is left out, said once
// on standard error. --relative finds TEXT as a word by the distances between
// its letters (see CRelativeSearch), single bytes and two-byte codes, and
// prints as ENCODING the width and the code of its first letter there
// ("1-byte D=0x83"). FILE "-" is standard input. Files are read a part at a
// time, whatever their length. Returns 0 when something was found, 1 when
// not, 2 for bad usage or a file that could not be read, as grep does.
int FindMain(int argc, char* argv[]);
