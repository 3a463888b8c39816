// Message boxes centred over their owner and kept on the screen.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "msgbox/MMsgBoxPos.h"
#include "msgbox/keep_rect_on_screen.h"
#include "support/window_harness.h"

namespace {

// An 800 x 600 pixel screen at 15 twips a pixel.
const ScreenTwips kScreen{12000, 9000, 15, 15};

MsgRect OnScreen(MsgRect rect) {
  KeepRectOnScreen(rect, kScreen);
  return rect;
}

// A box shown by ShowMsgBox over an owner window placed there.
ShownBox BoxOver(const QRect& ownerGeometry, const QString& text) {
  BoxAnswerer answerer;
  QWidget owner;
  owner.setGeometry(ownerGeometry);
  owner.show();
  QString title = "Title";
  ShowMsgBox(text, kMsgBoxInformation, title, &owner);
  return answerer.Boxes().at(0);
}

}  // namespace

TEST(MsgBoxPlacement, CentresWithWholeNumberHalving) {
  EXPECT_EQ(CentreOverOwner({100, 100, 500, 400}, {0, 0, 201, 101}), (MsgRect{200, 200, 401, 301}));
  EXPECT_EQ(OnScreen({200, 200, 401, 301}), (MsgRect{200, 200, 401, 301}));
}

TEST(MsgBoxPlacement, KeepsTheRectangleOnTheScreenWithItsSize) {
  EXPECT_EQ(OnScreen({-50, -20, 150, 80}), (MsgRect{0, 0, 200, 100}));
  EXPECT_EQ(OnScreen({700, 550, 900, 650}), (MsgRect{600, 500, 800, 600}));
  EXPECT_EQ(OnScreen({-100, -100, 1000, 800}), (MsgRect{-300, -300, 800, 600}));
}

TEST(MsgBoxPlacement, AShownBoxIsCentredOverItsOwner) {
  EXPECT_TRUE(CentredOverOwner(BoxOver({150, 200, 400, 300}, "centred")));
}

TEST(MsgBoxPlacement, AShownBoxStaysOnTheScreenWhenItsOwnerIsNearAnEdge) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const QString wide = "a message wider than its small owner window";
  const ShownBox topLeft = BoxOver({0, 0, 40, 20}, wide);
  EXPECT_EQ(topLeft.frame.topLeft(), QPoint(0, 0));
  const ShownBox bottomRight = BoxOver({screen.right() - 40, screen.bottom() - 20, 40, 20}, wide);
  EXPECT_EQ(bottomRight.frame.bottomRight(), screen.bottomRight());
}

TEST(MsgBoxPlacement, AnEmptyTitleBecomesTheApplicationsTitle) {
  BoxAnswerer answerer;
  QString title;
  ShowMsgBox("text", kMsgBoxOkOnly, title, nullptr);
  EXPECT_EQ(title, QGuiApplication::applicationDisplayName());
  EXPECT_EQ(answerer.Boxes().at(0).title, title);
}
