#include "panel/Bitmap.h"

#include <string_view>

namespace k58 {

namespace {

constexpr char InvalidBitmap[] = "Bitmap image is not valid";
constexpr std::size_t FileHeaderSize = 14;
constexpr std::size_t InfoHeaderSize = 40;
constexpr std::uint16_t BitmapSignature = 0x4D42; // "BM"
constexpr std::uint32_t NoCompression = 0;
// Far beyond any picture the program carries; keeps the pixel count and the
// row arithmetic well inside 32 bits.
constexpr std::int32_t MaxDimension = 16384;

[[noreturn]] void Invalid() {
    throw EInvalidGraphic(InvalidBitmap);
}

std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::int32_t I32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::int32_t>(U32(b, at));
}

} // namespace

TBitmap::TBitmap(int width, int height, std::vector<std::uint32_t> pixels)
    : mWidth(width), mHeight(height), mPixels(std::move(pixels)) {
    if (width < 0 || height < 0 ||
        mPixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        throw EInvalidGraphic(InvalidBitmap);
}

TBitmap LoadBitmap(std::span<const std::uint8_t> file) {
    if (file.size() < FileHeaderSize + InfoHeaderSize || U16(file, 0) != BitmapSignature)
        Invalid();
    // The size field of the file header is not trusted; the data at hand is.
    const std::uint32_t pixelOffset = U32(file, 10);
    const std::uint32_t infoSize = U32(file, FileHeaderSize);
    if (infoSize < InfoHeaderSize || infoSize > file.size() - FileHeaderSize)
        Invalid();
    const std::int32_t width = I32(file, 18);
    const std::int32_t height = I32(file, 22);
    const std::uint16_t planes = U16(file, 26);
    const std::uint16_t bitCount = U16(file, 28);
    const std::uint32_t compression = U32(file, 30);
    if (planes != 1 || bitCount != 24 || compression != NoCompression)
        Invalid();
    // A negative height means rows are stored top-down. (The most negative
    // value has no positive counterpart and is rejected by the range check.)
    if (width <= 0 || width > MaxDimension || height == 0 || height < -MaxDimension ||
        height > MaxDimension)
        Invalid();
    const bool bottomUp = height > 0;
    const int rows = bottomUp ? height : -height;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    if (pixelOffset < FileHeaderSize + infoSize || pixelOffset > file.size() ||
        stride * static_cast<std::size_t>(rows) > file.size() - pixelOffset)
        Invalid();

    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) *
                                      static_cast<std::size_t>(rows));
    for (int y = 0; y < rows; ++y) {
        const int stored = bottomUp ? rows - 1 - y : y;
        const std::uint8_t* src =
            file.data() + pixelOffset + stride * static_cast<std::size_t>(stored);
        std::uint32_t* dst =
            pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x, src += 3)
            dst[x] =
                0xFF000000u | (std::uint32_t{src[2]} << 16) | (std::uint32_t{src[1]} << 8) | src[0];
    }
    return TBitmap(width, rows, std::move(pixels));
}

TBitmap LoadPictureData(std::span<const std::uint8_t> data) {
    constexpr std::string_view ClassName = "TBitmap";
    if (data.empty() || data[0] != ClassName.size() || data.size() < 1 + ClassName.size() + 4 ||
        std::string_view(reinterpret_cast<const char*>(data.data() + 1), ClassName.size()) !=
            ClassName)
        Invalid();
    const std::size_t lengthAt = 1 + ClassName.size();
    const std::uint32_t length = U32(data, lengthAt);
    if (length > data.size() - lengthAt - 4)
        Invalid();
    return LoadBitmap(data.subspan(lengthAt + 4, length));
}

} // namespace k58
