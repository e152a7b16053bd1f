#include "platform/Types.h"

#include "platform/win32/Native.h"

#include <map>
#include <tuple>

namespace k58 {
namespace {

// "MS Sans Serif" is a bitmap font with one code page per file; Windows
// itself shows dialogs in its Unicode successor, which carries the Czech
// glyphs in every locale.
std::wstring Family(const std::string& name) {
    if (name == "MS Sans Serif")
        return L"Microsoft Sans Serif";
    return Utf16(name);
}

} // namespace

HFONT FontHandle(const TFontData& font) {
    using Key = std::tuple<std::string, int, bool, TFontCharset>;
    static std::map<Key, HFONT> fonts;
    const Key key{font.Name, font.Height, font.Bold, font.Charset};
    if (auto found = fonts.find(key); found != fonts.end())
        return found->second;
    // A negative height asks for the character height, not the cell's.
    HFONT handle = CreateFontW(-(font.Height > 0 ? font.Height : 1), 0, 0, 0,
                               font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                               font.Charset == TFontCharset::CentralEuropean ? EASTEUROPE_CHARSET
                                                                             : DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_DONTCARE, Family(font.Name).c_str());
    fonts.emplace(key, handle);
    return handle;
}

} // namespace k58
