#include "platform/qt/Fonts.h"

#include <QString>
#include <QStringList>

namespace k58 {

std::string SubstituteFontFamily(const std::string& family) {
    // Liberation fonts match the widths of the Windows fonts the window was
    // laid out with and carry the Central European glyphs.
    if (family == "MS Sans Serif" || family == "Arial" || family == "Microsoft Sans Serif")
        return "Liberation Sans";
    if (family == "Times New Roman")
        return "Liberation Serif";
    return family;
}

QFont MakeFont(const TFontData& font) {
    QFont result;
    result.setFamilies(
        {QString::fromStdString(SubstituteFontFamily(font.Name)), QStringLiteral("DejaVu Sans")});
    result.setPixelSize(font.Height > 0 ? font.Height : 1);
    result.setBold(font.Bold);
    return result;
}

} // namespace k58
