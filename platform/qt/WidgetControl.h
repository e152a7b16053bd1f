// A control shown by a toolkit widget: its position, size, visibility and
// enabled state live on the widget. Placed on its owner form's client area
// when the owner is a form.
#pragma once

#include "platform/Controls.h"
#include "platform/qt/Types.h"

#include <QPointer>
#include <QWidget>

namespace k58 {

class TWidgetControl : public TControl {
public:
    ~TWidgetControl() override;

    int Left() const override;
    int Top() const override;
    void SetLeft(int value) override;
    void SetTop(int value) override;
    int Width() const;
    int Height() const;
    virtual void SetWidth(int value);
    virtual void SetHeight(int value);
    void SetBounds(int left, int top, int width, int height);

    bool Visible() const noexcept { return mVisible; }
    void SetVisible(bool value);
    bool Enabled() const;
    virtual void SetEnabled(bool value);

    // The name is also the widget's object name, so that tests and
    // screenshots can find the control.
    void SetName(std::string name);

    // Moves the widget onto another parent (a form's client area or an
    // overlay); nullptr leaves it without one.
    void SetParentWidget(QWidget* parent);
    // The widget that shows this control; nullptr once the form that held it
    // has gone.
    QWidget* Widget() const noexcept { return mWidget.data(); }

    void Loaded() override;
    const char* ClassName() const noexcept override { return "TWidgetControl"; }

protected:
    // Takes ownership of widget. When owner is a form, the widget goes onto
    // the form's client area.
    TWidgetControl(TComponent* owner, QWidget* widget);

private:
    QPointer<QWidget> mWidget;
    bool mVisible = true;
};

} // namespace k58
