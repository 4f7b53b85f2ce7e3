#include "DesktopApplication.h"

#include "AboutBox.h"
#include "DesktopWindow.h"
#include "HyperlinkButton.h"
#include "QtEventLoop.h"
#include "QtView.h"
#include "platform/LoginStart.h"
#include "platform/PortWatch.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace velmar {

MainWindowSetup DesktopSetup(const std::vector<std::string>& arguments) {
  MainWindowSetup setup;
  setup.show_at_start = arguments.size() <= 1;
  setup.port_watch = &SystemPortWatch();  // plugged in or pulled: noticed at once
  setup.login_start = &SystemLoginStart();
  setup.login_program = QCoreApplication::applicationFilePath().toStdString();
  // A new version goes where the user's downloads go: an installed program's own folder
  // belongs to the system, not to the user running it.
  QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  if (downloads.isEmpty() || !QDir().mkpath(downloads)) {
    downloads = QCoreApplication::applicationDirPath();
  }
  setup.program_folder = downloads.toStdString();
  return setup;
}

namespace {
// The page lists the latest records; velmar-cli history has them all.
constexpr int kHistoryShown = 500;
}  // namespace

DesktopApplication::DesktopApplication(MainWindowSetup setup, ViewFactory make_view)
    : loop_(std::make_unique<QtEventLoop>(setup.clock ? *setup.clock : SystemClock())),
      window_(std::make_unique<DesktopWindow>()) {
  view_ = make_view ? make_view(*window_) : std::make_unique<QtView>(*window_);
  logic_ = std::make_unique<MainWindow>(*view_, *loop_, std::move(setup));

  DesktopWindow* window = window_.get();
  MainWindow* logic = logic_.get();
  QObject::connect(window, &DesktopWindow::hideClicked, window, [logic] { logic->OnHide(); });
  QObject::connect(window, &DesktopWindow::updateDeviceClicked, window,
                   [logic] { logic->OnUpdateDevice(); });
  QObject::connect(window, &DesktopWindow::updateOptionsOnlyClicked, window,
                   [logic] { logic->OnUpdateOptionsOnly(); });
  window->SetHistorySource([logic] {
    HistoryStore* history = logic->History();
    return history ? history->List({}, kHistoryShown) : std::vector<HistoryRecord>();
  });
  QObject::connect(window, &DesktopWindow::exitClicked, window, [logic] { logic->OnExit(); });
  QObject::connect(window, &DesktopWindow::settingsClicked, window,
                   [logic] { logic->OnSettings(); });
  QObject::connect(window, &DesktopWindow::printSensorInfoClicked, window,
                   [logic] { logic->OnPrintSensorInfo(); });
  QObject::connect(window, &DesktopWindow::closeRequested, window,
                   [logic] { logic->OnCloseRequest(); });
  QObject::connect(window, &DesktopWindow::aboutRequested, window, [this] { ShowAbout(); });
  // The link opens through the view, so the desktop's default action is one place.
  QtView* view = view_.get();
  window->LinkButton().SetOpener(
      [view](const QString& address) { return view->OpenAddress(address.toStdString()); });
}

DesktopApplication::~DesktopApplication() {
  // The logic first: it stops the workers, whose posts must find the loop still there.
  logic_.reset();
  view_.reset();
  window_.reset();
  loop_.reset();
}

void DesktopApplication::Start() { logic_->Initialize(); }

void DesktopApplication::Run() {
  loop_->RunUntil([this] { return logic_->Ended(); });
  window_->AllowClose();
  window_->hide();
}

void DesktopApplication::ShowAbout() {
  AboutBox box(window_.get());
  box.exec();
}

}  // namespace velmar
