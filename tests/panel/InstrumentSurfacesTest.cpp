#include "assets/Assets.h"
#include "panel/Instruments.h"
#include "platform/qt/OverlaySurfaces.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

namespace k58 {
namespace {

constexpr int OuterWidth = 575;
constexpr int Mid = OuterWidth / 2;
const QColor Background(212, 208, 200);

// A client area with a paint box and a button, as the window lays them out.
class InstrumentSurfacesTest : public testing::Test {
protected:
    InstrumentSurfacesTest() {
        client.setFixedSize(569, 152);
        client.setAutoFillBackground(true);
        QPalette palette = client.palette();
        palette.setColor(QPalette::Window, Background);
        client.setPalette(palette);
        paintBox = new QWidget(&client);
        paintBox->setGeometry(184, 24, 105, 105);
        button = new QPushButton("B", &client);
        button->setGeometry(312, 32, 41, 41);
        surfaces = std::make_unique<TOverlaySurfaces>(&client, [this] { return paintBox->pos(); });
    }

    void Tick(int roadSpeed, int cursorX) {
        DrawInstruments(surfaces->windowCanvas(), surfaces->dialCanvas(), face, roadSpeed,
                        OuterWidth, [=] { return cursorX; });
        surfaces->present();
    }

    QImage Screen() { return client.grab().toImage().convertToFormat(QImage::Format_RGB32); }

    QWidget client;
    QWidget* paintBox;
    QPushButton* button;
    std::unique_ptr<TOverlaySurfaces> surfaces;
    TBitmap face = LoadBitmap(assets::Find("dial.bmp"));
};

TEST_F(InstrumentSurfacesTest, ShowsTheBarsMarkersAndNeedleOverTheWindow) {
    Tick(1500, Mid + 40);
    Tick(1500, Mid + 40);
    const QImage screen = Screen();
    ASSERT_EQ(screen.size(), QSize(569, 152));
    EXPECT_EQ(screen.pixelColor(Mid + 40, 8), QColor(0, 255, 0));
    EXPECT_EQ(screen.pixelColor(Mid + 38, 8), QColor(255, 255, 255));
    EXPECT_EQ(screen.pixelColor(300, 18), QColor(0, 0, 255)); // s = 300
    EXPECT_EQ(screen.pixelColor(Mid, 1), QColor(255, 255, 255));
    EXPECT_EQ(screen.pixelColor(100, 8), QColor(0, 0, 0));
    // The needle ends at (73, 11) of the dial; the face's corner is its background.
    EXPECT_EQ(screen.pixelColor(184 + 73, 24 + 11), QColor(255, 255, 255));
    EXPECT_EQ(screen.pixelColor(184, 24), QColor(0, 13, 142));
    // Undrawn parts let the window through: the gap row between the bars,
    // the paint box's right strip, the area below the bars.
    EXPECT_EQ(screen.pixelColor(100, 13), Background);
    EXPECT_EQ(screen.pixelColor(184 + 102, 24 + 50), Background);
    EXPECT_EQ(screen.pixelColor(20, 140), Background);
}

TEST_F(InstrumentSurfacesTest, RedMarkerLeftOfCentre) {
    Tick(0, Mid - 50);
    EXPECT_EQ(Screen().pixelColor(Mid - 50, 8), QColor(255, 0, 0));
}

TEST_F(InstrumentSurfacesTest, DialFollowsTheMovedPaintBoxAndBarsCoverMovedControls) {
    Tick(0, 0);
    paintBox->move(190, 30);
    // A control created after the overlay, moved into the bars' rows.
    auto* label = new QLabel("Label1", &client);
    label->setAutoFillBackground(true);
    label->setGeometry(40, 2, 60, 20);
    label->show();
    Tick(0, 0);
    const QImage screen = Screen();
    // The needle's end (11, 73) at the new place, none at the old.
    EXPECT_EQ(screen.pixelColor(190 + 11, 30 + 73), QColor(255, 255, 255));
    EXPECT_EQ(screen.pixelColor(190, 30 + 50), QColor(0, 13, 142));
    EXPECT_EQ(screen.pixelColor(184, 74), Background);
    EXPECT_EQ(screen.pixelColor(185, 123), Background);
    // The bars paint over the label; below them the label shows.
    EXPECT_EQ(screen.pixelColor(60, 8), QColor(0, 0, 0));
    EXPECT_NE(screen.pixelColor(60, 13), QColor(0, 0, 0));
}

TEST_F(InstrumentSurfacesTest, OverlayLetsTheMouseThroughToTheControls) {
    Tick(0, 0);
    QWidget* overlay = surfaces->overlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->geometry(), client.rect());
    EXPECT_TRUE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(client.childAt(330, 50), button);
}

TEST_F(InstrumentSurfacesTest, OutlivesItsClientArea) {
    auto* other = new QWidget;
    TOverlaySurfaces detached(other, [] { return QPoint(0, 0); });
    delete other;
    EXPECT_EQ(detached.overlay(), nullptr);
    detached.present(); // nothing left to show; must not touch the gone widget
}

} // namespace
} // namespace k58
