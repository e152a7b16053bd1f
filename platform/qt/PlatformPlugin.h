// Chooses Qt's platform plugin before the application object is made.
#pragma once

namespace k58 {

// Asks Qt for its X11 plugin first and for Wayland only when no X display can
// be reached, unless the user has named a plugin in QT_QPA_PLATFORM. Qt on its
// own prefers Wayland whenever a compositor is reachable, and a Wayland client
// can neither place nor move its window nor see the pointer outside it; through
// Xwayland the window behaves as on X11. Changes the environment, so it must
// run before any thread is started and before the QApplication exists.
void ChoosePlatformPlugin();

} // namespace k58
