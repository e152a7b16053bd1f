// The paint box and the hidden picture holder of the window.
#pragma once

#include "panel/Bitmap.h"
#include "platform/WidgetControl.h"

#include <cstdint>
#include <vector>

namespace k58 {

// A positioned, transparent area with no painting of its own; others draw on
// its area.
class TPaintBox : public TWidgetControl {
public:
    explicit TPaintBox(TComponent* owner);
    const char* ClassName() const noexcept override { return "TPaintBox"; }
};

// Holds a picture for others to draw from: the bytes of an image file, or of
// a stored picture (class name, for a bitmap its byte count, then the file). It
// is a control with a position, shown only when made visible.
class TImage : public TWidgetControl {
public:
    explicit TImage(TComponent* owner);

    void SetPictureData(std::vector<std::uint8_t> data);
    const std::vector<std::uint8_t>& PictureData() const noexcept { return mPictureData; }
    // The picture decoded: from the stored form, or from a bare bitmap file;
    // empty when there is none or it can't be read.
    const TBitmap& Picture() const noexcept { return mPicture; }

    const char* ClassName() const noexcept override { return "TImage"; }

private:
    std::vector<std::uint8_t> mPictureData;
    TBitmap mPicture;
};

} // namespace k58
