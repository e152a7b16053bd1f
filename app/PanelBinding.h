// The instrument panel of the main window: the window and dial surfaces the
// panel draws on, kept as images the window shows, and the dial face.
#pragma once

#include <memory>

namespace k58 {

class TMotorForm;

class TInstrumentPanel {
public:
    explicit TInstrumentPanel(TMotorForm& form);
    ~TInstrumentPanel();
    void Draw();

private:
    struct TImpl;
    std::unique_ptr<TImpl> mImpl;
};

} // namespace k58
