// The least a Qt Widgets program does for K-58's screen, as the yardstick of
// bench/cpu_ratio.py: every 10 ms it reads the pointer, sets the three
// readouts' texts, and repaints the two bar strips and the 105 x 105 dial,
// in a 569 x 152 window at 273,229. No sound, no model, no beat timer.
#include "assets/Assets.h"

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cmath>

namespace {

constexpr int ClientWidth = 569;
constexpr int ClientHeight = 152;

// The throttle bar, the speed bar and the centre line across the top.
class Bars : public QWidget {
public:
    explicit Bars(QWidget* parent) : QWidget(parent) { setGeometry(0, 0, ClientWidth, 24); }
    int cursorX = 0;
    int speedColumn = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const int mid = window()->frameGeometry().width() / 2;
        painter.setPen(Qt::white);
        painter.setBrush(Qt::black);
        painter.drawRect(0, 3, width(), 9);
        painter.setBrush(cursorX > mid ? Qt::green : Qt::red);
        painter.drawRect(cursorX - 2, 5, 3, 5);
        painter.setBrush(Qt::black);
        painter.drawRect(0, 14, width(), 9);
        painter.setBrush(Qt::blue);
        painter.drawRect(speedColumn - 2, 16, 3, 5);
        painter.drawLine(mid, 0, mid, 23);
    }
};

// The dial face with the needle.
class Dial : public QWidget {
public:
    explicit Dial(QWidget* parent) : QWidget(parent) {
        setGeometry(184, 24, 105, 105);
        const auto bmp = k58::assets::Find("dial.bmp");
        face.loadFromData(bmp.data(), static_cast<int>(bmp.size()), "BMP");
    }
    double angle = 2.618;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, face);
        painter.setPen(QPen(Qt::white, 3));
        painter.drawLine(QPointF(50, 50),
                         QPointF(std::cos(angle) * 45 + 50, std::sin(angle) * 45 + 50));
    }

private:
    QImage face;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("K-58 minimal screen");
    window.setFixedSize(ClientWidth, ClientHeight);
    window.move(273, 229);
    auto* engine = new QLabel("Label1", &window);
    engine->move(112, 56);
    auto* gear = new QLabel("1", &window);
    QFont gearFont("Arial");
    gearFont.setPixelSize(23);
    gear->setFont(gearFont);
    gear->move(112, 88);
    auto* road = new QLabel("Label1", &window);
    road->move(112, 40);
    auto* bars = new Bars(&window);
    auto* dial = new Dial(&window);

    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const QPoint cursor = window.mapFromGlobal(QCursor::pos());
        // The texts K-58 shows while held in N at full throttle.
        engine->setText("1200");
        gear->setText("1");
        road->setText("0");
        bars->cursorX = cursor.x();
        bars->update();
        dial->update();
    });
    tick.start(10);
    window.show();
    return app.exec();
}
