// The Qt objects behind the platform-neutral controls, for the Qt layer's own
// files and its tests.
#pragma once

#include "platform/WidgetControl.h"

#include <QPointer>
#include <QWidget>

#include <memory>

namespace k58 {

class TForm;
class TInstrumentSurfaces;

struct TWidgetControl::TImpl {
    explicit TImpl(QWidget* shown) : widget(shown) {}
    // Gone when the form's window, its parent, was destroyed first.
    QPointer<QWidget> widget;
};

// Wraps a new widget as a control's native part; the control owns it.
inline std::unique_ptr<TWidgetControl::TImpl> NativeFor(QWidget* widget) {
    return std::make_unique<TWidgetControl::TImpl>(widget);
}

// The widget that shows the control; nullptr once the form that held it
// has gone.
inline QWidget* NativeWidget(const TWidgetControl& control) {
    return control.Native().widget.data();
}

// Moves the control's widget onto another parent (a form's client area or
// an overlay); nullptr leaves it without one.
void SetParentWidget(TWidgetControl& control, QWidget* parent);

// The widget whose area is the form's client area: controls and drawing
// overlays are parented to it; nullptr once it has gone.
QWidget* ClientWidget(const TForm& form);

// The overlay that shows the instrument surfaces; nullptr once the client
// area has gone.
QWidget* OverlayWidget(const TInstrumentSurfaces& surfaces);

} // namespace k58
