// The main window's widgets and window behaviour, without the window logic: the close box
// and the tray menu, the view's texts, the history page and the report viewer. Hiding
// without a tray is the desktop program's test.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <fstream>

#include "DesktopWindow.h"
#include "QtView.h"
#include "SensorReportViewer.h"
#include "app/ControlIds.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

// The close box and the tray menu's Exit ask the logic; the window closes only when allowed.
TEST(DesktopWindow, CloseAndExitAskTheLogicAndTheWindowClosesOnlyWhenAllowed) {
  DesktopWindow window;
  window.show();
  QSignalSpy asked(&window, &DesktopWindow::closeRequested);
  EXPECT_FALSE(window.close());
  EXPECT_TRUE(window.isVisible());
  const auto actions = window.TrayMenu()->actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_EQ(actions[0]->text(), "Maximize");
  EXPECT_EQ(actions[1]->text(), "Exit");
  actions[1]->trigger();
  EXPECT_EQ(asked.count(), 2);
  actions[0]->trigger();
  EXPECT_TRUE(window.isVisible());
  QSignalSpy about(&window, &DesktopWindow::aboutRequested);
  ASSERT_FALSE(window.actions().isEmpty());
  window.actions().front()->trigger();
  EXPECT_EQ(about.count(), 1);
  window.AllowClose();
  EXPECT_TRUE(window.close());
  EXPECT_EQ(asked.count(), 2);
}

TEST(DesktopWindow, TheStatusLogShowsItsLinesAndTheViewTextsReachTheLabels) {
  DesktopWindow window;
  QtView view(window);
  view.SetStatusLog("Device Detected.\r\nConnecting to the Internet server...\r\n");
  EXPECT_EQ(window.StatusLogField().toPlainText(),
            "Device Detected.\nConnecting to the Internet server...");
  EXPECT_TRUE(window.StatusLogField().isReadOnly());
  view.SetProgress(control::kTransferBar, 250);
  EXPECT_EQ(static_cast<QProgressBar*>(window.Control(control::kTransferBar))->value(), 100);
  view.SetEnabled(control::kUpdateDevice, false);
  EXPECT_FALSE(window.Control(control::kUpdateDevice)->isEnabled());
  view.SetText(control::kLinkButton, "www.example.test");
  EXPECT_EQ(window.Control(control::kLinkButton)->toolTip(), "www.example.test");
}

TEST(DesktopWindow, TheHistoryPageListsTheRecordsWhenShownAndWhenTheyChange) {
  DesktopWindow window;
  QtView view(window);
  std::vector<HistoryRecord> records(2);
  records[0].time = "2026-12-07T10:00:00Z";
  records[0].serial = "QL7-12-000123";
  records[0].version_before = "1.00";
  records[0].version_after = "1.10";
  records[0].outcome = "PASS";
  records[0].report = ReportState::Pending;
  records[1] = records[0];
  records[1].report = ReportState::Sent;
  int reads = 0;
  window.SetHistorySource([&] {
    ++reads;
    return records;
  });
  QTabWidget& tabs = window.Tabs();
  ASSERT_EQ(tabs.count(), 2);
  EXPECT_EQ(tabs.tabText(1), "History");
  tabs.setCurrentIndex(1);
  QTableWidget& table = window.HistoryTable();
  ASSERT_EQ(table.rowCount(), 2);
  const QStringList row = {table.item(0, 0)->text(), table.item(0, 1)->text(),
                           table.item(0, 2)->text(), table.item(0, 3)->text(),
                           table.item(0, 4)->text()};
  EXPECT_EQ(row, QStringList({"2026-12-07T10:00:00Z", "QL7-12-000123",
                              QString::fromUtf8("1.00 \u2192 1.10"), "PASS", "Pending"}));
  EXPECT_EQ(table.item(1, 4)->text(), "Yes");
  // A new record reaches the page through the view.
  records.pop_back();
  const int before = reads;
  view.HistoryChanged();
  EXPECT_EQ(reads, before + 1);
  EXPECT_EQ(table.rowCount(), 1);
}

TEST(DesktopWindow, ShowingTheReportAgainClosesTheOneShownBefore) {
  testing::ScratchDir folder;
  const std::string path = folder.File("valves.txt");
  {
    std::ofstream file(path, std::ios::binary);
    file << "Sensor 1 \xE9t\xE9\r\nSensor 2";  // 8-bit text as the tool sends it
  }
  DesktopWindow window;
  QtView view(window);
  view.ShowSensorReport(path);
  QPointer<SensorReportViewer> first = view.ReportViewer();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Text(), QString::fromUtf8("Sensor 1 \u00e9t\u00e9\nSensor 2"));
  view.ShowSensorReport(path);
  EXPECT_FALSE(first) << "the first viewer is gone";
  ASSERT_TRUE(view.ReportViewer());
  EXPECT_TRUE(view.ReportViewer()->isVisible());
}

}  // namespace
}  // namespace velmar
