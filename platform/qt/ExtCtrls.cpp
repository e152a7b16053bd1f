#include "platform/qt/ExtCtrls.h"

#include <limits>

namespace k58 {

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
    if (!mPictureData.empty() && mPictureData.size() <= std::numeric_limits<int>::max())
        mPicture.loadFromData(mPictureData.data(), static_cast<int>(mPictureData.size()));
}

} // namespace k58
