#include "platform/StdCtrls.h"

#include "platform/Forms.h"

#include "platform/win32/Native.h"

namespace k58 {
namespace {

// The caption's lines: CR LF and lone LF both end a line.
std::wstring DisplayText(const std::string& caption) {
    std::wstring text = Utf16(caption);
    std::wstring lines;
    lines.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
            continue;
        lines += text[i];
    }
    return lines;
}

constexpr UINT TextFormat = DT_LEFT | DT_TOP | DT_NOPREFIX | DT_EXPANDTABS;

// Draws the label's text in its font, on what lies beneath.
struct TLabelImpl final : TWidgetControl::TImpl {
    explicit TLabelImpl(TLabel& owner) : label(owner) {}

    HFONT Font() const {
        if (!label.ParentFont() || form == nullptr)
            return FontHandle(label.Font());
        return FontHandle(form->Font());
    }

    void Paint(HDC dc) override {
        const std::wstring text = DisplayText(label.Caption());
        RECT area = bounds;
        const HGDIOBJ old = SelectObject(dc, Font());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
                  TextFormat | (label.WordWrap() ? DT_WORDBREAK : 0));
        SelectObject(dc, old);
    }

    void FormFontChanged() override {
        if (label.ParentFont())
            Resize();
    }

    // Fits an auto-sized label to its text, keeping its left and top; an
    // empty caption measures as one space.
    void Resize() const {
        if (!label.AutoSize())
            return;
        std::wstring text = DisplayText(label.Caption());
        if (text.empty())
            text = L" ";
        HDC dc = GetDC(nullptr);
        const HGDIOBJ old = SelectObject(dc, Font());
        RECT measured{0, 0, label.WordWrap() ? label.Width() : 0, 0};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured,
                  TextFormat | DT_CALCRECT | (label.WordWrap() ? DT_WORDBREAK : 0));
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        label.SetBounds(label.Left(), label.Top(),
                        label.WordWrap() ? label.Width() : measured.right - measured.left,
                        measured.bottom - measured.top);
    }

    TLabel& label;
};

TLabelImpl& LabelImpl(const TLabel& label) {
    return static_cast<TLabelImpl&>(label.Native());
}

} // namespace

TLabel::TLabel(TComponent* owner) : TWidgetControl(owner, std::make_unique<TLabelImpl>(*this)) {
    AdjustBounds();
}

void TLabel::SetCaption(const std::string& caption) {
    if (caption == mCaption)
        return;
    mCaption = caption;
    Native().Invalidate();
    AdjustBounds();
}

void TLabel::SetWordWrap(bool value) {
    if (value == mWordWrap)
        return;
    mWordWrap = value;
    Native().Invalidate();
    AdjustBounds();
}

void TLabel::SetFont(const TFontData& font) {
    mFont = font;
    mParentFont = false;
    Native().Invalidate();
    AdjustBounds();
}

void TLabel::SetWidth(int value) {
    TWidgetControl::SetWidth(value);
    AdjustBounds();
}

void TLabel::SetHeight(int value) {
    TWidgetControl::SetHeight(value);
    AdjustBounds();
}

void TLabel::AdjustBounds() {
    LabelImpl(*this).Resize();
}

} // namespace k58
