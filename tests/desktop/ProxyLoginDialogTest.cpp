// The proxy login dialog: what OK and Cancel hand back, and that it opens empty again.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ProxyLoginDialog.h"

namespace velmar {
namespace {

// Runs `act` on the modal dialog once it is up.
void WhenShown(std::function<void(QWidget&)> act) {
  QTimer::singleShot(0, [act] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    act(*dialog);
  });
}

QLineEdit* Field(QWidget& dialog, const char* name) { return dialog.findChild<QLineEdit*>(name); }

void Press(QWidget& dialog, const char* button) {
  QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
}

TEST(ProxyLoginDialogTest, OkHandsBackWhatWasTypedPasswordHidden) {
  WhenShown([](QWidget& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Login and Password");
    EXPECT_EQ(Field(dialog, "password")->echoMode(), QLineEdit::Password);
    QTest::keyClicks(Field(dialog, "login"), "fleet");
    QTest::keyClicks(Field(dialog, "password"), "s3cr");
    Field(dialog, "password")->insert(QString::fromUtf8("\xc3\xa9t"));
    Press(dialog, "ok");
  });
  const std::optional<ProxyLogin> login = ProxyLoginDialog::Ask(nullptr);
  ASSERT_TRUE(login.has_value());
  EXPECT_EQ(login->login, "fleet");
  EXPECT_EQ(login->password, "s3cr\xc3\xa9t");  // UTF-8, as the logic keeps texts
}

// Cancel and the close box hand back nothing; OK with empty fields, two empty texts.
TEST(ProxyLoginDialogTest, CancelAndTheCloseBoxHandBackNothingOkWithNothingTypedEmptyTexts) {
  WhenShown([](QWidget& dialog) {
    QTest::keyClicks(Field(dialog, "login"), "fleet");
    Press(dialog, "cancel");
  });
  EXPECT_FALSE(ProxyLoginDialog::Ask(nullptr).has_value());
  WhenShown([](QWidget& dialog) { dialog.close(); });
  EXPECT_FALSE(ProxyLoginDialog::Ask(nullptr).has_value());
  WhenShown([](QWidget& dialog) { Press(dialog, "ok"); });
  const std::optional<ProxyLogin> empty = ProxyLoginDialog::Ask(nullptr);
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(std::make_pair(empty->login, empty->password), std::make_pair(std::string(), std::string()));
}

// Asked again after a refused login, the same dialog does not offer the earlier input.
TEST(ProxyLoginDialogTest, TheSameDialogRunAgainIsClearedToo) {
  ProxyLoginDialog dialog;
  dialog.open();
  QTest::keyClicks(dialog.findChild<QLineEdit*>("login"), "old");
  dialog.accept();
  EXPECT_EQ(dialog.Values().login, "old");
  dialog.open();
  EXPECT_EQ(dialog.Values().login, "");
  dialog.reject();
}

}  // namespace
}  // namespace velmar
