// The settings dialog's widgets over its logic: what they show on opening, which controls
// the automatic detection switches, what each way of ending hands back, the factory reset
// request and the connection test's boxes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "SettingsDialogWidget.h"
#include "app/ControlIds.h"
#include "device/ScriptedTool.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "platform/Clock.h"
#include "platform/PortListing.h"
#include "support/FakeSerial.h"
#include "support/RecordingPoster.h"
#include "support/ScriptedPortListing.h"

namespace velmar {
namespace {

using testing::PostedEvent;
using testing::RecordingPoster;

// A click on a check box's indicator: the box is wider than its text, and a click beyond the
// text does nothing.
const QPoint kOnTheBox(6, 8);

class SettingsDialogWidgetTest : public testing::ToolOnFakeLine {
 protected:
  void SetUp() override {  // the port stays closed: the dialog opens it
    device_.Attach(&port_);
    listing_.names = {"Communications Port (COM1)", "Ostar RS232 Emulation (COM3)",
                      "USB Serial (COM7)"};
  }

  SettingsDialog& Logic(int32_t autoDetect, int32_t upgradeCheck, int32_t portNumber) {
    logic_.emplace(autoDetect, upgradeCheck, portNumber, device_, port_, window_, listing_, clock_);
    return *logic_;
  }

  // The dialog over the logic, its boxes recorded instead of shown.
  std::unique_ptr<SettingsDialogWidget> Widget(SettingsDialog& logic) {
    auto widget = std::make_unique<SettingsDialogWidget>(logic);
    widget->SetBoxHook([this](const QString& text, MessageIcon icon) {
      boxes_.emplace_back(text.toStdString(), icon);
    });
    widget->open();
    return widget;
  }

  template <typename T>
  static T* Child(QWidget& widget, const char* name) {
    T* child = widget.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  // A second-map tool that answers detection and the restart coil on both addresses.
  void ToolAnswers() {
    MakeProtocol2Tool();
    tool_.Present(127);
  }

  testing::ScriptedPortListing listing_;
  RecordingPoster window_;
  ManualClock clock_;
  std::optional<SettingsDialog> logic_;
  std::vector<std::pair<std::string, MessageIcon>> boxes_;
};

TEST_F(SettingsDialogWidgetTest, OpensWithTheFirstPortAndThePortControlsOff) {
  auto dialog = Widget(Logic(1, 1, -1));
  auto* list = Child<QComboBox>(*dialog, "portList");
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->itemText(1), "Ostar RS232 Emulation (COM3)");
  EXPECT_EQ(list->itemData(2).toInt(), 7);
  EXPECT_EQ(list->currentIndex(), 0);
  EXPECT_TRUE(Child<QCheckBox>(*dialog, "autoDetect")->isChecked());
  EXPECT_TRUE(Child<QCheckBox>(*dialog, "upgradeCheck")->isChecked());
  EXPECT_FALSE(list->isEnabled());
  EXPECT_FALSE(Child<QLabel>(*dialog, "portCaption")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>(*dialog, "testConnection")->isEnabled());
  EXPECT_TRUE(Child<QPushButton>(*dialog, "apply")->isDefault());
}

TEST_F(SettingsDialogWidgetTest, ChoosingAPortAndApplyingHandsItBack) {
  SettingsDialog& logic = Logic(1, 0, 3);
  auto dialog = Widget(logic);
  auto* list = Child<QComboBox>(*dialog, "portList");
  EXPECT_EQ(list->currentIndex(), 1);  // the configured COM3

  QTest::mouseClick(Child<QCheckBox>(*dialog, "autoDetect"), Qt::LeftButton, {}, kOnTheBox);
  EXPECT_TRUE(list->isEnabled());
  EXPECT_TRUE(Child<QLabel>(*dialog, "portCaption")->isEnabled());
  EXPECT_TRUE(Child<QPushButton>(*dialog, "testConnection")->isEnabled());
  list->setCurrentIndex(2);
  QTest::mouseClick(Child<QCheckBox>(*dialog, "upgradeCheck"), Qt::LeftButton, {}, kOnTheBox);
  QTest::mouseClick(Child<QPushButton>(*dialog, "apply"), Qt::LeftButton);

  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_FALSE(dialog->isVisible());
  ASSERT_TRUE(logic.Applied());
  EXPECT_EQ(logic.autoDetect(), 0);
  EXPECT_EQ(logic.upgradeCheck(), 1);
  EXPECT_EQ(logic.portNumber(), 7);
  EXPECT_FALSE(logic.testDone());
}

// "Start Velmar at login" shows the system's state and changes it only on APPLY; a change
// that could not be stored is reported, not taken for done.
TEST_F(SettingsDialogWidgetTest, StartAtLoginIsStoredOnlyOnApply) {
  struct FakeLoginStart : LoginStart {
    bool on = false;
    bool fails = false;
    std::vector<std::pair<bool, std::string>> calls;
    bool Enabled() override { return on; }
    bool SetEnabled(bool enabled, const std::string& program) override {
      calls.emplace_back(enabled, program);
      if (!fails) on = enabled;
      return !fails;
    }
  };
  struct Case {
    bool offered, on, click;
    const char* ending;
    bool fails;
    size_t calls;
    bool stored;
  };
  const Case cases[] = {
      {true, false, true, "apply", false, 1, true},  {true, true, true, "apply", false, 1, true},
      {true, true, false, "apply", false, 0, true},  {true, false, true, "cancel", false, 0, true},
      {true, false, true, "apply", true, 1, false},  {false, false, false, "apply", false, 0, true},
  };
  for (const Case& c : cases) {
    FakeLoginStart login;
    login.on = c.on;
    login.fails = c.fails;
    SettingsDialog& logic = Logic(1, 1, -1);
    if (c.offered) logic.OfferLoginStart(&login, "/usr/bin/velmar");
    auto dialog = Widget(logic);
    auto* box = Child<QCheckBox>(*dialog, "loginStart");
    EXPECT_EQ(box->isVisible(), c.offered);
    EXPECT_EQ(box->isChecked(), c.on);
    if (c.click) box->click();
    QTest::mouseClick(Child<QPushButton>(*dialog, c.ending), Qt::LeftButton);
    ASSERT_EQ(login.calls.size(), c.calls) << c.on << c.ending;
    if (c.calls) {
      EXPECT_EQ(login.calls[0], std::make_pair(!c.on, std::string("/usr/bin/velmar")));
    }
    EXPECT_EQ(logic.LoginStartStored(), c.stored);
  }
}

// CANCEL, Escape, the close box and FACTORY RESET end the dialog without handing anything
// back; only the reset asks the window for something.
TEST_F(SettingsDialogWidgetTest, EveryOtherEndingHandsNothingBack) {
  const std::function<void(SettingsDialogWidget&)> endings[] = {
      [](SettingsDialogWidget& d) { QTest::mouseClick(Child<QPushButton>(d, "cancel"), Qt::LeftButton); },
      [](SettingsDialogWidget& d) { QTest::keyClick(&d, Qt::Key_Escape); },
      [](SettingsDialogWidget& d) { d.close(); },
      [](SettingsDialogWidget& d) { QTest::mouseClick(Child<QPushButton>(d, "factoryReset"), Qt::LeftButton); },
  };
  for (const auto& end : endings) {
    SettingsDialog& logic = Logic(0, 1, 1);
    auto dialog = Widget(logic);
    Child<QComboBox>(*dialog, "portList")->setCurrentIndex(2);
    end(*dialog);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_TRUE(logic.Ended());
    EXPECT_FALSE(logic.Applied());
  }
  EXPECT_EQ(window_.Events(), (std::vector<PostedEvent>{{message::kFactoryReset, 0, 0}}));
}

TEST_F(SettingsDialogWidgetTest, TestConnectionShowsWhatAnsweredOnTheChosenPort) {
  ToolAnswers();
  SettingsDialog& logic = Logic(0, 1, -1);
  auto dialog = Widget(logic);
  Child<QComboBox>(*dialog, "portList")->setCurrentIndex(1);
  QTest::mouseClick(Child<QPushButton>(*dialog, "testConnection"), Qt::LeftButton);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(fake_.opened_ports, (std::vector<uint8_t>{3, 3}));  // the port chosen in the list
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(logic.testDone());
  EXPECT_TRUE(dialog->isVisible());

  tool_.Silence();
  QTest::mouseClick(Child<QPushButton>(*dialog, "testConnection"), Qt::LeftButton);
  fake_.open_fails = true;
  QTest::mouseClick(Child<QPushButton>(*dialog, "testConnection"), Qt::LeftButton);
  const std::vector<std::pair<std::string, MessageIcon>> expected = {
      {"Device detected", MessageIcon::Information},
      {"No device detected", MessageIcon::Information},
      {"Invalid communication port", MessageIcon::Stop}};
  EXPECT_EQ(boxes_, expected);
}

}  // namespace
}  // namespace velmar
