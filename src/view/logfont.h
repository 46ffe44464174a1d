#pragma once

#include <QFont>

#include <cstdint>
#include <functional>

// Character sets a font is asked for, by the code page it has to draw.
enum : std::uint8_t {
    DEFAULT_CHARSET = 1,
    SHIFTJIS_CHARSET = 128,
    GB2312_CHARSET = 134,
    CHINESEBIG5_CHARSET = 136,
};
enum : std::uint8_t { FIXED_PITCH = 1 };
enum : int { FW_NORMAL = 400 };

// The description of a font the program asks for; CreateFont maps it onto an
// installed face the way a font mapper would.
//
// The character set names a script: GB simplified Chinese, BIG5 traditional
// Chinese, Shift JIS Japanese. The mapper picks an installed family that covers
// it, preferring one whose Latin letters are all the same width and whose
// ideographs are twice that (fixed pitch); DEFAULT_CHARSET takes the system's
// fixed-width font. Without a family for the script the system's fixed-width
// font stands in, as a mapper substitutes, and IsInstalled says so.
struct CLogFont {
    int lfHeight = 0;   // character height in pixels
    int lfWidth = 0;    // 0: the face's own width
    int lfWeight = 0;   // 100-900, 400 normal
    std::uint8_t lfCharSet = 0;
    std::uint8_t lfPitchAndFamily = 0;

    QFont CreateFont() const;
    // Whether an installed font covers the character set's script.
    bool IsInstalled() const;

    // Answers IsInstalled for a character set in place of the font database when
    // set; tests use it to pretend a script has no font.
    static std::function<bool(std::uint8_t nCharSet)> s_isCharSetInstalled;
};
