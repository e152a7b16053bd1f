#include "platform/qt/PlatformPlugin.h"

#include <QByteArray>
#include <QtGlobal>

namespace k58 {

namespace {

constexpr char PluginVariable[] = "QT_QPA_PLATFORM";
// Qt tries the plugins of a list in turn and takes the first that starts.
constexpr char X11ThenWayland[] = "xcb;wayland";

} // namespace

void ChoosePlatformPlugin() {
    // Qt treats an empty value as unset, so an empty one is not a choice.
    if (qEnvironmentVariableIsEmpty(PluginVariable))
        qputenv(PluginVariable, QByteArray(X11ThenWayland));
}

} // namespace k58
