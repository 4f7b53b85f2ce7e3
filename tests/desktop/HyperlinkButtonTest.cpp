// The link button: which address it opens, the keys that open it and those that must not,
// a disabled link, a failed open, hover and its colours.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include "HyperlinkButton.h"

namespace velmar {
namespace {

class HyperlinkButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    button_.setText("www.telvan.example/update");
    button_.resize(220, 24);
    button_.SetOpener([this](const QString& address) {
      opened_.push_back(address);
      cursor_while_opening_ = QGuiApplication::overrideCursor()
                                  ? QGuiApplication::overrideCursor()->shape()
                                  : Qt::ArrowCursor;
      return open_result_;
    });
  }

  HyperlinkButton button_;
  std::vector<QString> opened_;
  Qt::CursorShape cursor_while_opening_ = Qt::ArrowCursor;
  bool open_result_ = true;
};

// Without an address the caption is opened and shown as the tip; an address replaces both
// until it is cleared. The wait cursor is up while the opener runs, and only then.
TEST_F(HyperlinkButtonTest, TheAddressOrElseTheCaptionIsOpenedAndShownAsTip) {
  button_.SetToolTip("");
  EXPECT_EQ(button_.toolTip(), "www.telvan.example/update");
  QTest::mouseClick(&button_, Qt::LeftButton);
  EXPECT_EQ(cursor_while_opening_, Qt::WaitCursor);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(button_.Visited());
  button_.SetUrl("http://tools.telvan.example/r710");
  button_.SetToolTip("");
  EXPECT_EQ(button_.toolTip(), "http://tools.telvan.example/r710");
  button_.SetToolTip("Open the update page");
  EXPECT_EQ(button_.toolTip(), "Open the update page");
  QTest::mouseClick(&button_, Qt::LeftButton);
  button_.SetUrl("");
  QTest::mouseClick(&button_, Qt::LeftButton);
  EXPECT_EQ(opened_, (std::vector<QString>{"www.telvan.example/update",
                                           "http://tools.telvan.example/r710",
                                           "www.telvan.example/update"}));
}

TEST_F(HyperlinkButtonTest, SpaceNeverOpensEnterPressAndReleaseDoes) {
  QTest::keyClick(&button_, Qt::Key_Space);
  EXPECT_TRUE(opened_.empty());
  EXPECT_FALSE(button_.Visited());

  QTest::keyPress(&button_, Qt::Key_Return);
  EXPECT_TRUE(button_.KeyDown());
  EXPECT_TRUE(opened_.empty());  // not on the press
  QTest::keyRelease(&button_, Qt::Key_Return);
  EXPECT_FALSE(button_.KeyDown());
  EXPECT_EQ(opened_.size(), 1u);

  QTest::keyClick(&button_, Qt::Key_Enter);  // the keypad's Enter too
  EXPECT_EQ(opened_.size(), 2u);
}

TEST_F(HyperlinkButtonTest, EnterReleasedWithoutItsPressDoesNothing) {
  // A release whose press went elsewhere (the dialog's default button, another key between).
  QTest::keyRelease(&button_, Qt::Key_Return);
  QTest::keyPress(&button_, Qt::Key_Return);
  QTest::keyClick(&button_, Qt::Key_A);
  EXPECT_FALSE(button_.KeyDown());
  QTest::keyRelease(&button_, Qt::Key_Return);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(HyperlinkButtonTest, DisabledIgnoresClicksAndEnterAndIsGrey) {
  button_.setEnabled(false);
  QTest::mouseClick(&button_, Qt::LeftButton);
  QTest::keyClick(&button_, Qt::Key_Return);
  button_.click();
  EXPECT_TRUE(opened_.empty());
  EXPECT_FALSE(button_.Visited());

  EXPECT_EQ(button_.TextColour(), button_.palette().color(QPalette::Disabled, QPalette::WindowText));
}

// The link colour, the highlight while hovering, and after a click (even one whose opening
// failed, which is reported once) the visited colour and no hover.
TEST_F(HyperlinkButtonTest, ColoursFollowHoverAndVisitsAndAFailedOpenIsReported) {
  EXPECT_EQ(button_.TextColour(), QColor(0, 0, 208));
  EXPECT_EQ(button_.cursor().shape(), Qt::PointingHandCursor);
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(&button_, &enter);
  EXPECT_TRUE(button_.Hovering());
  EXPECT_EQ(button_.TextColour(), button_.palette().color(QPalette::Active, QPalette::Highlight));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&button_, &leave);
  EXPECT_FALSE(button_.Hovering());
  EXPECT_EQ(button_.TextColour(), QColor(0, 0, 208));

  open_result_ = false;
  button_.SetControlId(1018);
  QSignalSpy failed(&button_, &HyperlinkButton::linkOpenFailed);
  QApplication::sendEvent(&button_, &enter);
  QTest::mouseClick(&button_, Qt::LeftButton);
  ASSERT_EQ(failed.size(), 1);
  EXPECT_EQ(failed[0][0].toInt(), 1018);
  EXPECT_TRUE(button_.Visited());
  EXPECT_FALSE(button_.Hovering());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(button_.TextColour(), QColor(128, 0, 128));
  open_result_ = true;
  QTest::mouseClick(&button_, Qt::LeftButton);
  EXPECT_EQ(failed.size(), 1);
}

}  // namespace
}  // namespace velmar
