// Small value types shared by the window's controls and the code that uses them.
#pragma once

#include <string>

namespace k58 {

// A point in pixels, on the screen or in a window's client area.
struct TPoint {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// The character set a font is asked for in.
enum class TFontCharset { Default, CentralEuropean };

// A control's font as the window definition states it: family name,
// character height in pixels, weight and character set. Families missing on
// this machine are replaced by metric-compatible ones that carry the Czech
// glyphs.
struct TFontData {
    std::string Name;
    int Height = 11;
    bool Bold = false;
    TFontCharset Charset = TFontCharset::Default;
    friend bool operator==(const TFontData&, const TFontData&) = default;
};

} // namespace k58
