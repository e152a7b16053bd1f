// A picture in memory and the reader of the Windows bitmap files it comes from.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>
#include <span>
#include <vector>

namespace k58 {

// Raised for bitmap data that cannot be read.
K58_DECLARE_EXCEPTION(EInvalidGraphic, Exception);

// An opaque picture: Width x Height pixels, top row first, each 0xFFRRGGBB.
class TBitmap {
public:
    TBitmap() = default;
    TBitmap(int width, int height, std::vector<std::uint32_t> pixels);

    int Width() const noexcept { return mWidth; }
    int Height() const noexcept { return mHeight; }
    bool Empty() const noexcept { return mPixels.empty(); }
    // Row y, Width() pixels.
    const std::uint32_t* ScanLine(int y) const noexcept {
        return mPixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(mWidth);
    }
    std::uint32_t Pixel(int x, int y) const noexcept { return ScanLine(y)[x]; }

private:
    int mWidth = 0;
    int mHeight = 0;
    std::vector<std::uint32_t> mPixels;
};

// Decodes a Windows bitmap file: uncompressed, 24 bits per pixel, rows stored
// bottom-up or top-down. Anything else, and any header that points outside
// the data, raises EInvalidGraphic.
TBitmap LoadBitmap(std::span<const std::uint8_t> file);

// Decodes a picture as a window definition stores it: the class name
// "TBitmap" as a one-byte-length string, the file's length as a 32-bit
// little-endian integer, then the bitmap file.
TBitmap LoadPictureData(std::span<const std::uint8_t> data);

} // namespace k58
