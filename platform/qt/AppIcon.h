// The program's icon for the window and the application.
#pragma once

#include <QIcon>

#include <cstdint>
#include <span>

namespace k58 {

// Builds the icon from the carried .ico file (every image in it) and, when
// this Qt has no .ico reader or the file yields nothing, from the PNG copy.
QIcon MakeAppIcon(std::span<const std::uint8_t> icoFile, std::span<const std::uint8_t> pngFile);

} // namespace k58
