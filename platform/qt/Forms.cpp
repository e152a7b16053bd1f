#include "platform/Forms.h"

#include "platform/qt/AppIcon.h"
#include "platform/qt/Fonts.h"
#include "platform/qt/Native.h"

#include <QBackingStore>
#include <QCloseEvent>
#include <QEvent>
#include <QPalette>
#include <QScreen>
#include <QString>
#include <QTimer>
#include <QWindow>

namespace k58 {

// The top-level widget of a form: tells the form when it is closed and when
// its native window has been made.
class FormWindow : public QWidget {
public:
    explicit FormWindow(TForm* form) : mForm(form) {}

    void Detach() noexcept { mForm = nullptr; }

    void Recreate() {
        const bool visible = isVisible();
        destroy(true, true);
        create();
        if (visible)
            show();
    }

    // Whether one of this window's events is being handled now.
    bool Handling() const noexcept { return mHandling > 0; }

protected:
    bool event(QEvent* event) override {
        // Handling this one deletes the window.
        if (event->type() == QEvent::DeferredDelete)
            return QWidget::event(event);
        ++mHandling;
        if (event->type() == QEvent::WinIdChange && internalWinId() != 0) {
            FollowScreen();
            if (mForm != nullptr)
                mForm->NativeWindowCreated();
        }
        const bool handled = QWidget::event(event);
        --mHandling;
        return handled;
    }

    void closeEvent(QCloseEvent* event) override {
        event->accept();
        if (mForm != nullptr)
            mForm->WindowClosed();
    }

private:
    // When the scale of the window's screen changes while it is shown (the
    // desktop's settings change the screen's dots per inch), the toolkit
    // keeps the native window's size in device pixels, so the window shrinks
    // or grows in logical ones, and keeps drawing into a buffer of the old
    // size. The window is put back at its logical place and size, with a
    // buffer at the new scale, as soon as the change has been handled.
    void FollowScreen() {
        QWindow* native = windowHandle();
        if (native == nullptr)
            return;
        disconnect(mScreenScale);
        if (native->screen() != nullptr)
            mScreenScale =
                connect(native->screen(), &QScreen::logicalDotsPerInchChanged, this,
                        [this] { QTimer::singleShot(0, this, &FormWindow::PlaceAgain); });
        if (native != mFollowed)
            connect(native, &QWindow::screenChanged, this, &FormWindow::FollowScreen);
        mFollowed = native;
    }

    void PlaceAgain() {
        QWindow* native = windowHandle();
        if (native == nullptr)
            return;
        native->setGeometry(geometry());
        if (QBackingStore* store = backingStore())
            store->resize(size());
        update();
    }

    TForm* mForm;
    int mHandling = 0;
    QMetaObject::Connection mScreenScale;
    QPointer<QWindow> mFollowed;
};

struct TForm::TImpl {
    QPointer<QWidget> window;
};

QWidget* ClientWidget(const TForm& form) {
    return form.Native().window.data();
}

TForm::TForm(TComponent* owner) : TCustomForm(owner), mImpl(std::make_unique<TImpl>()) {
    auto* window = new FormWindow(this);
    mImpl->window = window;
    // A fixed dialog-like frame: system menu, minimise and close, no maximise.
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // The window's background is the button face colour of the system.
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    window->setFont(MakeFont(mFont));
}

TForm::~TForm() {
    if (auto* window = static_cast<FormWindow*>(mImpl->window.data())) {
        window->Detach();
        // A form freed from one of its own window's handlers (OnClose, a
        // creation hook) must not pull the window out from under the
        // toolkit: it goes once the toolkit is done with it.
        if (window->Handling()) {
            window->hide();
            window->deleteLater();
            return;
        }
        // Deletes the controls' widgets with it; the controls notice.
        delete window;
    }
}

void TForm::SetCaption(const std::string& caption) {
    mCaption = caption;
    if (mImpl->window)
        mImpl->window->setWindowTitle(QString::fromStdString(caption));
}

void TForm::SetClientSize(int width, int height) {
    if (mImpl->window)
        mImpl->window->setFixedSize(width, height);
}

int TForm::ClientWidth() const {
    return mImpl->window ? mImpl->window->width() : 0;
}
int TForm::ClientHeight() const {
    return mImpl->window ? mImpl->window->height() : 0;
}

// For a top-level widget, pos() and move() refer to the outer frame.
int TForm::Left() const {
    return mImpl->window ? mImpl->window->pos().x() : TCustomForm::Left();
}
int TForm::Top() const {
    return mImpl->window ? mImpl->window->pos().y() : TCustomForm::Top();
}

void TForm::SetLeft(int value) {
    TCustomForm::SetLeft(value);
    if (mImpl->window)
        mImpl->window->move(value, mImpl->window->pos().y());
}

void TForm::SetTop(int value) {
    TCustomForm::SetTop(value);
    if (mImpl->window)
        mImpl->window->move(mImpl->window->pos().x(), value);
}

int TForm::Width() const {
    return mImpl->window ? mImpl->window->frameGeometry().width() : 0;
}
int TForm::Height() const {
    return mImpl->window ? mImpl->window->frameGeometry().height() : 0;
}

TPoint TForm::ScreenToClient(TPoint point) const {
    if (!mImpl->window)
        return point;
    const QPoint local = mImpl->window->mapFromGlobal(QPoint(point.X, point.Y));
    return {local.x(), local.y()};
}

TPoint TForm::ClientToScreen(TPoint point) const {
    if (!mImpl->window)
        return point;
    const QPoint global = mImpl->window->mapToGlobal(QPoint(point.X, point.Y));
    return {global.x(), global.y()};
}

void TForm::SetFont(const TFontData& font) {
    mFont = font;
    if (mImpl->window)
        mImpl->window->setFont(MakeFont(font));
}

void TForm::SetIcon(std::span<const std::uint8_t> icoFile, std::span<const std::uint8_t> pngFile) {
    if (mImpl->window)
        mImpl->window->setWindowIcon(MakeAppIcon(icoFile, pngFile));
}

void TForm::Show() {
    if (mImpl->window)
        mImpl->window->show();
}

void TForm::Close() {
    if (mImpl->window)
        mImpl->window->close();
}

bool TForm::Visible() const {
    return mImpl->window && mImpl->window->isVisible();
}

HWND TForm::Handle() {
    return mImpl->window ? reinterpret_cast<HWND>(mImpl->window->winId()) : nullptr;
}

bool TForm::HandleAllocated() const {
    return mImpl->window && mImpl->window->internalWinId() != 0;
}

void TForm::RecreateWnd() {
    if (auto* window = static_cast<FormWindow*>(mImpl->window.data()))
        window->Recreate();
}

void TForm::SetName(std::string name) {
    if (mImpl->window)
        mImpl->window->setObjectName(QString::fromStdString(name));
    TComponent::SetName(std::move(name));
}

void TForm::Loaded() {
    TCustomForm::Loaded();
    if (mImpl->window)
        mImpl->window->setObjectName(QString::fromStdString(Name()));
}

} // namespace k58
