#include "platform/qt/OverlaySurfaces.h"

#include <QEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QWidget>

namespace k58 {

namespace {

// Wraps a canvas's pixels without copying. Undrawn pixels are 0, drawn ones
// opaque, so the buffer is valid premultiplied ARGB as it stands.
QImage ImageOf(const TMemoryCanvas& canvas) {
    return QImage(reinterpret_cast<const uchar*>(canvas.Bits()), canvas.Width(), canvas.Height(),
                  canvas.BytesPerLine(), QImage::Format_ARGB32_Premultiplied);
}

QRect ToQRect(const TCanvasRect& r) {
    return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

} // namespace

// Covers the client area above every control; lets the mouse through.
class TOverlaySurfaces::Overlay : public QWidget {
public:
    Overlay(QWidget* client, TOverlaySurfaces* surfaces) : QWidget(client), mSurfaces(surfaces) {
        setObjectName("InstrumentOverlay");
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(client->rect());
        client->installEventFilter(this);
        show();
        raise();
    }

    // Keeps the overlay on top of the client area's widgets.
    void KeepOnTop() {
        const QObjectList& siblings = parentWidget()->children();
        for (auto it = siblings.crbegin(); it != siblings.crend(); ++it) {
            if (*it == this)
                return;
            if ((*it)->isWidgetType()) {
                raise();
                return;
            }
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parentWidget() && event->type() == QEvent::Resize) {
            const QSize size = parentWidget()->size();
            setGeometry(0, 0, size.width(), size.height());
            mSurfaces->mWindow.SetSize(size.width(), size.height());
        }
        return QWidget::eventFilter(watched, event);
    }

    void paintEvent(QPaintEvent*) override {
        // The images are in client pixels; on a high-density screen QPainter
        // scales them by the device pixel ratio, pixel-replicated.
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QPoint(0, 0), ImageOf(mSurfaces->mWindow));
        const QPoint dialAt = mSurfaces->mPaintBoxTopLeft();
        painter.drawImage(dialAt, ImageOf(mSurfaces->mDial));
        mSurfaces->mShownDialAt = dialAt;
    }

private:
    TOverlaySurfaces* mSurfaces;
};

TOverlaySurfaces::TOverlaySurfaces(QWidget* client, std::function<QPoint()> paintBoxTopLeft)
    : mWindow(client->width(), client->height()), mDial(DialSurfaceSize, DialSurfaceSize),
      mPaintBoxTopLeft(std::move(paintBoxTopLeft)), mShownDialAt(mPaintBoxTopLeft()),
      mOverlay(new Overlay(client, this)) {}

TOverlaySurfaces::~TOverlaySurfaces() {
    delete mOverlay.data();
}

QWidget* TOverlaySurfaces::overlay() const noexcept {
    return mOverlay.data();
}

void TOverlaySurfaces::present() {
    if (!mOverlay)
        return;
    mOverlay->KeepOnTop();
    QRegion dirty(ToQRect(mWindow.TakeChangedRect()));
    const QPoint dialAt = mPaintBoxTopLeft();
    const TCanvasRect dialChanged = mDial.TakeChangedRect();
    if (!dialChanged.Empty())
        dirty += ToQRect(dialChanged).translated(dialAt);
    // A paint box that moved since the last paint leaves its old place to be
    // repainted too.
    if (dialAt != mShownDialAt) {
        const QRect dialArea(0, 0, mDial.Width(), mDial.Height());
        dirty += dialArea.translated(dialAt);
        dirty += dialArea.translated(mShownDialAt);
    }
    if (!dirty.isEmpty())
        mOverlay->update(dirty);
}

} // namespace k58
