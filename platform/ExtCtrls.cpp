#include "platform/ExtCtrls.h"

namespace k58 {

void TImage::SetPictureData(std::vector<std::uint8_t> data) {
    mPictureData = std::move(data);
    mPicture = TBitmap();
    if (mPictureData.empty())
        return;
    // A stored picture starts with its class name's length; a bitmap file
    // with "BM".
    try {
        mPicture =
            mPictureData[0] == 'B' ? LoadBitmap(mPictureData) : LoadPictureData(mPictureData);
    } catch (const EInvalidGraphic&) {
        mPicture = TBitmap();
    }
}

} // namespace k58
