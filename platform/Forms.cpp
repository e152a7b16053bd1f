#include "platform/Forms.h"

#include "platform/Handlers.h"

namespace k58 {

void TForm::WindowClosed() {
    if (OnClose)
        RunHandler([this] { OnClose(this); });
}

void TForm::NativeWindowCreated() {
    // Hooks on WindowProc (the sound device's, for one) re-attach to the new
    // native window here.
    TMessage message;
    message.Msg = WM_CREATE;
    RunHandler([this, &message] { Perform(message); });
}

} // namespace k58
