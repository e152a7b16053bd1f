// Text labels of the window.
#pragma once

#include "platform/WidgetControl.h"

#include <string>

namespace k58 {

// A label. With AutoSize (the default) it sizes itself to its text whenever
// the text or font changes, keeping its left and top; without it, it keeps
// the size given and, with WordWrap, breaks the text into lines to fit.
class TLabel : public TWidgetControl {
public:
    explicit TLabel(TComponent* owner);

    // The text as UTF-8; a CR LF pair or a lone LF starts a new line.
    const std::string& Caption() const noexcept { return mCaption; }
    void SetCaption(const std::string& caption);

    bool AutoSize() const noexcept { return mAutoSize; }
    void SetAutoSize(bool value);
    bool WordWrap() const noexcept { return mWordWrap; }
    void SetWordWrap(bool value);

    // Without a font of its own the label uses its form's font.
    const TFontData& Font() const noexcept { return mFont; }
    void SetFont(const TFontData& font);
    bool ParentFont() const noexcept { return mParentFont; }

    void SetWidth(int value) override;
    void SetHeight(int value) override;

    const char* ClassName() const noexcept override { return "TLabel"; }

private:
    void AdjustBounds();

    std::string mCaption;
    TFontData mFont;
    bool mParentFont = true;
    bool mAutoSize = true;
    bool mWordWrap = false;
};

} // namespace k58
