#include "platform/qt/AppIcon.h"
#include "assets/Assets.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <gtest/gtest.h>

namespace k58 {
namespace {

// The carried icon file holds two 32 x 32 images: 8-bit palettised and 32-bit.
TEST(AppIconTest, IcoFileHoldsAPalettisedAndATrueColourImage) {
    const auto ico = assets::Find("k58.ico");
    ASSERT_GE(ico.size(), 6u + 2 * 16);
    EXPECT_EQ(ico[2] | (ico[3] << 8), 1); // icon resource
    ASSERT_EQ(ico[4] | (ico[5] << 8), 2); // two images
    const auto bits = [&](int entry) {
        return ico[6 + 16 * entry + 6] | (ico[6 + 16 * entry + 7] << 8);
    };
    EXPECT_EQ(bits(0), 8);
    EXPECT_EQ(bits(1), 32);
    for (int entry = 0; entry < 2; ++entry) {
        EXPECT_EQ(ico[6 + 16 * entry], 32);
        EXPECT_EQ(ico[6 + 16 * entry + 1], 32);
    }

    QByteArray bytes(reinterpret_cast<const char*>(ico.data()), static_cast<qsizetype>(ico.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    int read = 0;
    for (QImage image; reader.read(&image); ++read) {
        EXPECT_EQ(image.size(), QSize(32, 32));
        // Transparent corners, an opaque face with the white hub in the middle.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(16, 16)), 255);
        EXPECT_GT(qGray(image.pixel(16, 16)), 200);
        if (!reader.jumpToNextImage())
            break;
    }
    EXPECT_EQ(read + 1, 2);
}

TEST(AppIconTest, IconComesFromTheIcoFileOrElseThePng) {
    const QIcon fromIco = MakeAppIcon(assets::Find("k58.ico"), {});
    ASSERT_FALSE(fromIco.isNull());
    EXPECT_EQ(fromIco.pixmap(32, 32).size(), QSize(32, 32));

    const QIcon fromPng = MakeAppIcon({}, assets::Find("k58.png"));
    ASSERT_FALSE(fromPng.isNull());
    const QImage png = fromPng.pixmap(32, 32).toImage();
    EXPECT_EQ(qAlpha(png.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(png.pixel(16, 16)), 255);

    const std::uint8_t garbage[] = {1, 2, 3};
    EXPECT_TRUE(MakeAppIcon(garbage, {}).isNull());
}

} // namespace
} // namespace k58
