// Turns a window definition's font into a toolkit font, replacing the
// families this machine lacks by metric-compatible ones.
#pragma once

#include "platform/Types.h"

#include <QFont>

namespace k58 {

// The family to use for a requested one: "MS Sans Serif" and "Arial" become
// Liberation Sans, "Times New Roman" becomes Liberation Serif; others stay.
std::string SubstituteFontFamily(const std::string& family);

// A font with the (substituted) family, the height in pixels and the weight.
QFont MakeFont(const TFontData& font);

} // namespace k58
