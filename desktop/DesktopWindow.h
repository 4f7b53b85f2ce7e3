#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <vector>

#include "app/View.h"
#include "history/HistoryRecord.h"

class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QTabWidget;
class QTableWidget;
class QTimer;

namespace velmar {

class HyperlinkButton;
class TitleBanner;

// The main window's widgets, arranged as the window's layout has them (in dialog units, see
// DialogUnitLayout), its tray icon, and the window behaviour of a tray program: HIDE and
// minimising hide it into the tray, the close box asks the window logic first. The commands
// come out as signals; what the window shows comes in through the View (QtView).
class DesktopWindow : public QWidget {
  Q_OBJECT

 public:
  // How often and how far apart the tray icon is tried again when the desktop has none yet.
  static constexpr int kTrayAttempts = 10;
  static constexpr int kTrayRetryMs = 3000;

  explicit DesktopWindow(QWidget* parent = nullptr);
  ~DesktopWindow() override;

  // The control of a window-logic id (ControlIds.h), or null.
  QWidget* Control(int id) const;
  TitleBanner& Banner() const { return *banner_; }
  HyperlinkButton& LinkButton() const { return *link_; }
  QPlainTextEdit& StatusLogField() const { return *log_; }
  QTabWidget& Tabs() const { return *tabs_; }
  QTableWidget& HistoryTable() const { return *history_; }

  // Where the History page reads its records, newest first; it reads them again when it is
  // shown and at RefreshHistory.
  void SetHistorySource(std::function<std::vector<HistoryRecord>()> source);
  void RefreshHistory();

  void SetControlText(int id, const QString& text);
  void SetProgress(int id, int position);
  void SetStatusLog(const QString& text);
  void SetBanner(const BannerLook& look);

  // Shows the window (from the tray too) and brings it forward, or hides it into the tray. With
  // no tray to come back from, hiding minimises instead, so the window can always be reached.
  void ShowWindow(bool visible);
  bool HasTray() const;
  QSystemTrayIcon* Tray() const { return tray_; }
  QMenu* TrayMenu() const { return tray_menu_; }

  // Lets the next close request through (the window logic has ended the program).
  void AllowClose() { close_allowed_ = true; }

 signals:
  void hideClicked();
  void updateDeviceClicked();
  void updateOptionsOnlyClicked();
  void exitClicked();
  void settingsClicked();
  void printSensorInfoClicked();
  // The close box or the tray's "Exit".
  void closeRequested();
  void aboutRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildControls();
  void BuildTray();
  // Makes the tray icon when the desktop has a tray; false when it has none (yet).
  bool TryCreateTray();

  std::map<int, QWidget*> controls_;
  TitleBanner* banner_ = nullptr;
  HyperlinkButton* link_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QTableWidget* history_ = nullptr;
  std::function<std::vector<HistoryRecord>()> history_source_;
  QSystemTrayIcon* tray_ = nullptr;
  QMenu* tray_menu_ = nullptr;
  QTimer* tray_retry_ = nullptr;
  int tray_attempts_ = 0;
  bool close_allowed_ = false;
  bool hide_when_tray_comes_ = false;
};

}  // namespace velmar
