// Velmar, the desktop program: one instance per user, the window (or only its tray icon when
// started with any command-line text, as an autostart entry does) until EXIT.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>
#include <cstdio>

#include "DesktopApplication.h"
#include "TerminationSignals.h"
#include "app/Strings.h"
#include "platform/InstanceLock.h"
#include "platform/PortPaths.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  velmar::SetLanguage(velmar::SystemLanguage());
  // The window hides into the tray; closing it must not end the program behind its back.
  QApplication::setQuitOnLastWindowClosed(false);

  velmar::MainWindowSetup setup;
  velmar::InstanceLock instance;
  const velmar::InstanceLock::Result lock = instance.Acquire();
  if (!instance.Problem().empty()) {
    setup.start_notes.push_back("Instance lock not used: " + instance.Problem() + ".");
    std::fprintf(stderr, "%s\n", setup.start_notes.back().c_str());
  }
  if (lock == velmar::InstanceLock::Result::AlreadyRunning) {
    const std::string& text = velmar::LoadString(velmar::kStrAlreadyRunning);
    std::fprintf(stderr, "%s\n", text.c_str());
    QMessageBox::information(nullptr, QString(), QString::fromStdString(text), QMessageBox::Ok);
    return 0;
  }

  std::string port_problem;
  if (!velmar::UsablePortDirectory(&port_problem))
    setup.start_notes.push_back(velmar::PortFolderIgnoredLine(port_problem));
  setup.show_at_start = argc <= 1;  // the text itself means nothing
  // A new version goes where the user's downloads go: an installed program's own folder
  // belongs to the system, not to the user running it.
  QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  if (downloads.isEmpty() || !QDir().mkpath(downloads)) {
    downloads = QCoreApplication::applicationDirPath();
  }
  setup.program_folder = downloads.toStdString();
  velmar::DesktopApplication program(std::move(setup));
  velmar::TerminationSignals termination;
  QObject::connect(&termination, &velmar::TerminationSignals::terminationRequested,
                   [&program] { program.Logic().OnExit(); });
  program.Start();
  program.Run();
  return 0;
}
