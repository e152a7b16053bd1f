#include "platform/qt/ExtCtrls.h"

#include <cctype>
#include <cstddef>
#include <limits>

namespace k58 {
namespace {

// Stored picture data may carry the picture's class name in front of the
// file: a length byte and the name ("TBitmap" ...), and for a bitmap a 32-bit
// little-endian byte count of the file that follows. Returns where the file
// starts.
std::size_t PictureFileOffset(const std::vector<std::uint8_t>& data) {
    if (data.empty())
        return 0;
    const std::size_t nameLength = data[0];
    if (nameLength < 2 || data.size() < 1 + nameLength || data[1] != 'T')
        return 0;
    for (std::size_t i = 1; i <= nameLength; ++i)
        if (std::isalnum(data[i]) == 0 && data[i] != '_')
            return 0;
    std::size_t offset = 1 + nameLength;
    if (data.size() >= offset + 4) {
        std::uint32_t size = 0;
        for (int i = 3; i >= 0; --i)
            size = (size << 8) | data[offset + static_cast<std::size_t>(i)];
        if (size == data.size() - offset - 4)
            offset += 4;
    }
    return offset;
}

} // namespace

TPaintBox::TPaintBox(TComponent* owner) : TWidgetControl(owner, new QWidget) {
    // No background and no painting of its own: what lies beneath shows
    // until someone draws on it.
    Widget()->setAutoFillBackground(false);
    Widget()->setAttribute(Qt::WA_NoSystemBackground);
}

TImage::TImage(TComponent* owner) : TWidgetControl(owner, new QWidget) {}

void TImage::SetPictureData(std::vector<std::uint8_t> data) {
    mPictureData = std::move(data);
    mPicture = QImage();
    const std::size_t offset = PictureFileOffset(mPictureData);
    const std::size_t length = mPictureData.size() - offset;
    if (length > 0 && length <= static_cast<std::size_t>(std::numeric_limits<int>::max()))
        mPicture.loadFromData(mPictureData.data() + offset, static_cast<int>(length));
}

} // namespace k58
