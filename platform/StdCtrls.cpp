#include "platform/StdCtrls.h"

namespace k58 {

void TLabel::SetAutoSize(bool value) {
    if (value == mAutoSize)
        return;
    mAutoSize = value;
    AdjustBounds();
}

} // namespace k58
