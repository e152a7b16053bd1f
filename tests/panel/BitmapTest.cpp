#include "panel/Bitmap.h"
#include "assets/Assets.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace k58 {
namespace {

std::uint32_t U32At(std::span<const std::uint8_t> b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

std::uint16_t U16At(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// A valid 24-bit file: width x height, rows padded to 4 bytes, every pixel
// (x, y) of stored row y coloured (x, y, 7) as red, green, blue.
std::vector<std::uint8_t> MakeBitmap(int width, int height) {
    const int rows = height < 0 ? -height : height;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<std::uint8_t> b(54 + stride * rows);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<std::uint32_t>(width));
    Put32(b, 22, static_cast<std::uint32_t>(height));
    Put16(b, 26, 1);
    Put16(b, 28, 24);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &b[54 + stride * y + 3 * x];
            p[0] = 7;
            p[1] = static_cast<std::uint8_t>(y);
            p[2] = static_cast<std::uint8_t>(x);
        }
    return b;
}

TEST(DialFaceTest, CarriedFileHasTheExactSizeAndHeaderFields) {
    const auto file = assets::Find("dial.bmp");
    ASSERT_EQ(file.size(), 30054u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(U32At(file, 2), 30054u);  // file size
    EXPECT_EQ(U32At(file, 6), 0u);      // reserved
    EXPECT_EQ(U32At(file, 10), 54u);    // pixel data offset
    EXPECT_EQ(U32At(file, 14), 40u);    // information header size
    EXPECT_EQ(U32At(file, 18), 100u);   // width
    EXPECT_EQ(U32At(file, 22), 100u);   // height, positive: bottom-up
    EXPECT_EQ(U16At(file, 26), 1);      // planes
    EXPECT_EQ(U16At(file, 28), 24);     // bits per pixel
    EXPECT_EQ(U32At(file, 30), 0u);     // no compression
    EXPECT_EQ(U32At(file, 34), 30000u); // image size
    EXPECT_EQ(U32At(file, 38), 7874u);  // pixels per metre, x
    EXPECT_EQ(U32At(file, 42), 7874u);  // and y
    EXPECT_EQ(U32At(file, 46), 0u);     // no colour table
    EXPECT_EQ(U32At(file, 50), 0u);
}

TEST(DialFaceTest, DecodesToTheDialFace) {
    const TBitmap face = LoadBitmap(assets::Find("dial.bmp"));
    ASSERT_EQ(face.Width(), 100);
    ASSERT_EQ(face.Height(), 100);
    constexpr std::uint32_t Background = 0xFF000D8E; // (0, 13, 142)
    EXPECT_EQ(face.Pixel(0, 0), Background);
    EXPECT_EQ(face.Pixel(99, 0), Background);
    EXPECT_EQ(face.Pixel(0, 99), Background);
    EXPECT_EQ(face.Pixel(99, 99), Background);
    // The hub is white around the needle's pivot.
    for (int y = 46; y <= 54; ++y)
        for (int x = 46; x <= 54; ++x)
            EXPECT_EQ(face.Pixel(x, y), 0xFFFFFFFFu) << x << "," << y;
    // The face is dark at the upper left and light at the lower right.
    const auto grey = [&](int x, int y) { return face.Pixel(x, y) & 0xFF; };
    EXPECT_LT(grey(25, 25), 40u);
    EXPECT_GT(grey(75, 75), 120u);
    // The scale mark for 40 stands straight above the hub, in white.
    EXPECT_EQ(face.Pixel(50, 10), 0xFFFFFFFFu);
}

TEST(BitmapTest, ReadsBottomUpAndTopDownRowsWithPadding) {
    const TBitmap up = LoadBitmap(MakeBitmap(5, 3)); // 15 bytes a row, padded to 16
    ASSERT_EQ(up.Width(), 5);
    ASSERT_EQ(up.Height(), 3);
    // Stored row 0 is the bottom row.
    EXPECT_EQ(up.Pixel(4, 2), 0xFF040007u);
    EXPECT_EQ(up.Pixel(1, 0), 0xFF010207u);
    const TBitmap down = LoadBitmap(MakeBitmap(5, -3));
    EXPECT_EQ(down.Height(), 3);
    EXPECT_EQ(down.Pixel(1, 0), 0xFF010007u);
}

TEST(BitmapTest, RejectsMalformedFilesWithoutReadingPastThem) {
    const auto valid = MakeBitmap(4, 4);
    ASSERT_NO_THROW(LoadBitmap(valid));
    const auto reject = [&](auto mutate) {
        auto b = valid;
        mutate(b);
        EXPECT_THROW(LoadBitmap(b), EInvalidGraphic);
    };
    reject([](auto& b) { b.clear(); });
    reject([](auto& b) { b.resize(53); });
    reject([](auto& b) { b[1] = 'A'; });
    reject([](auto& b) { b.pop_back(); });              // pixel data one byte short
    reject([](auto& b) { Put32(b, 10, 0xFFFFFFF0u); }); // offset beyond the file
    reject([](auto& b) { Put32(b, 10, 20); });          // offset inside the headers
    reject([](auto& b) { Put32(b, 14, 12); });          // old-style header
    reject([](auto& b) { Put32(b, 14, 0xFFFFFFFFu); }); // header beyond the file
    reject([](auto& b) { Put32(b, 18, 0); });
    reject([](auto& b) { Put32(b, 18, 0x80000000u); }); // negative width
    reject([](auto& b) { Put32(b, 18, 0x7FFFFFFFu); }); // huge width
    reject([](auto& b) { Put32(b, 22, 0); });
    reject([](auto& b) { Put32(b, 22, 0x80000000u); }); // most negative height
    reject([](auto& b) { Put32(b, 22, 0x40000000u); }); // rows beyond the data
    reject([](auto& b) { Put16(b, 28, 8); });           // palettised
    reject([](auto& b) { Put16(b, 26, 2); });
    reject([](auto& b) { Put32(b, 30, 1); }); // compressed
}

TEST(BitmapTest, ReadsPictureDataAsAWindowDefinitionStoresIt) {
    const auto file = MakeBitmap(2, 2);
    std::vector<std::uint8_t> data = {7, 'T', 'B', 'i', 't', 'm', 'a', 'p', 0, 0, 0, 0};
    Put32(data, 8, static_cast<std::uint32_t>(file.size()));
    data.insert(data.end(), file.begin(), file.end());
    EXPECT_EQ(LoadPictureData(data).Width(), 2);

    auto wrongClass = data;
    wrongClass[1] = 'X';
    EXPECT_THROW(LoadPictureData(wrongClass), EInvalidGraphic);
    auto tooLong = data;
    Put32(tooLong, 8, static_cast<std::uint32_t>(file.size() + 1));
    EXPECT_THROW(LoadPictureData(tooLong), EInvalidGraphic);
    EXPECT_THROW(LoadPictureData(std::span(data).first(10)), EInvalidGraphic);
}

} // namespace
} // namespace k58
