// Renders the README's pictures of the desktop program: the main window idle, during an update
// (the warning banner up, both bars moving) and after success, and the two dialogs. The window
// is put into each state through its View, as the window logic would; nothing talks to a tool.
// Usage: velmar-screenshots [--language CODE] OUTPUT_FOLDER (run on a real or virtual X
// display). In another language than English ("de", "ja", ...) each file name ends in
// "-CODE" before ".png".
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <string>

#include "DesktopWindow.h"
#include "ProxyLoginDialog.h"
#include "QtView.h"
#include "SettingsDialogWidget.h"
#include "app/ControlIds.h"
#include "app/SettingsDialog.h"
#include "app/Strings.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "platform/EventPoster.h"
#include "platform/LoginStart.h"
#include "platform/PortListing.h"
#include "platform/SerialBinding.h"

namespace velmar {
namespace {

class ExamplePorts : public PortListing {
 public:
  bool FriendlyNames(std::vector<std::string>& names) override {
    names = {"Communications Port (COM1)", "Ostar RS232 Emulation (COM5)",
             "USB Serial Port (COM33)"};
    return true;
  }
};

class NoPoster : public EventPoster {
 public:
  void Post(uint32_t, int32_t, int32_t) override {}
};

// What "Start Velmar at login" shows: off.
class LoginStartOff : public LoginStart {
 public:
  bool Enabled() override { return false; }
  bool SetEnabled(bool, const std::string&) override { return true; }
};

QString suffix;  // "-de" for German pictures, empty for English

bool Save(QWidget& widget, const QString& folder, const char* name) {
  widget.show();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  QString file = QString::fromLatin1(name);
  file.insert(file.lastIndexOf(QLatin1Char('.')), suffix);
  const QString path = folder + "/" + file;
  const bool saved = widget.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  return saved;
}

void ShowIdentity(QtView& view) {
  view.SetText(control::kSerialNumber, "R710-10452");
  view.SetText(control::kSoftwareVersion, "1.00");
  view.SetText(control::kAvailableVersion, "1.10");
  view.SetText(control::kPortModeText, LoadString(kStrAutomaticMode) + PortSuffixText(5));
}

int Render(const QString& folder) {
  int failures = 0;
  DesktopWindow window;
  QtView view(window);
  const BannerLook normal{LoadString(kStrNormalBanner), {0, 255, 0}, {50, 50, 50}, {255, 255, 255}};
  view.SetBanner(normal);
  view.SetText(control::kLinkButton, "www.telvan-tpms.example");
  view.SetText(control::kSerialNumber, "------------------------------------");
  view.SetText(control::kPortModeText, LoadString(kStrAutomaticNoAdapter));
  view.SetEnabled(control::kUpdateDevice, false);
  view.SetEnabled(control::kPrintSensorInfo, false);
  view.SetStatusLog(LoadString(kStrSearching) + "\r\n");
  failures += !Save(window, folder, "main-idle.png");

  ShowIdentity(view);
  const BannerLook warning{
      LoadString(kStrDoNotDisconnect), {255, 0, 0}, {50, 50, 50}, {255, 255, 255}};
  view.SetBanner(warning);
  for (int control :
       {control::kUpdateDevice, control::kPrintSensorInfo, control::kSettings, control::kExit})
    view.SetEnabled(control, false);
  view.SetProgress(control::kDownloadBar, 100);
  view.SetText(control::kDownloadPercent, PercentText(100));
  view.SetProgress(control::kTransferBar, 64);
  view.SetText(control::kTransferPercent, PercentText(64));
  view.SetStatusLog(LoadString(kStrDeviceDetected) + "\r\n" + LoadString(kStrConnecting) + "\r\n" +
                    LoadString(kStrConnectionEstablished) + "\r\n" +
                    LoadString(kStrUpdatingDevice) + "\r\n" +
                    FormatMessage(kStrLoadingDatabase, 1, 2) + "\r\n");
  failures += !Save(window, folder, "main-updating.png");

  view.SetBanner(normal);
  view.SetText(control::kSoftwareVersion, "1.10");
  for (int control : {control::kUpdateDevice, control::kSettings, control::kExit})
    view.SetEnabled(control, true);
  view.SetProgress(control::kTransferBar, 100);
  view.SetText(control::kTransferPercent, PercentText(100));
  view.SetStatusLog(LoadString(kStrTransferComplete) + "\r\n" + LoadString(kStrDatabasesLoaded) +
                    "\r\n" + LoadString(kStrUpToDate) + "\r\n");
  failures += !Save(window, folder, "main-done.png");
  window.AllowClose();
  window.close();

  ExamplePorts ports;
  NoPoster poster;
  SerialPort port(SystemSerialBinding());
  ToolDevice device;
  SettingsDialog logic(0, 1, 5, device, port, poster, ports);
  LoginStartOff login_start;
  logic.OfferLoginStart(&login_start, "velmar");
  SettingsDialogWidget settings(logic);
  failures += !Save(settings, folder, "settings.png");

  ProxyLoginDialog proxy;
  failures += !Save(proxy, folder, "proxy-login.png");
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace velmar

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const bool with_language = argc == 4 && std::string(argv[1]) == "--language";
  if (argc != 2 && !with_language) {
    std::fprintf(stderr, "usage: velmar-screenshots [--language CODE] OUTPUT_FOLDER\n");
    return 2;
  }
  if (with_language) {
    const velmar::Language language = velmar::LanguageFromLocale(argv[2]);
    velmar::SetLanguage(language);
    if (language != velmar::Language::English) velmar::suffix = "-" + QString::fromLocal8Bit(argv[2]);
  }
  const QString folder = QString::fromLocal8Bit(argv[argc - 1]);
  QDir().mkpath(folder);
  return velmar::Render(folder);
}
