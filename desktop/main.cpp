// Velmar, the desktop program: one instance per user, the window (or only its tray icon when
// started with any command-line text, as an autostart entry does) until EXIT.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>
#include <cstdio>

#include "DesktopApplication.h"
#include "TerminationSignals.h"
#include "app/Strings.h"
#include "platform/InstanceLock.h"
#include "platform/Termination.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  velmar::SetLanguage(velmar::SystemLanguage());
  // The window hides into the tray; closing it must not end the program behind its back.
  QApplication::setQuitOnLastWindowClosed(false);

  velmar::InstanceLock instance;
  if (instance.Acquire() == velmar::InstanceLock::Result::AlreadyRunning) {
    const std::string& text = velmar::LoadString(velmar::kStrAlreadyRunning);
    std::fprintf(stderr, "%s\n", text.c_str());
    QMessageBox::information(nullptr, QString(), QString::fromStdString(text), QMessageBox::Ok);
    return 0;
  }

  velmar::MainWindowSetup setup;
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
  QObject::connect(&termination, &velmar::TerminationSignals::terminationRequested, [&program] {
    // An HTTP request in flight is not cut short; the program ends by this bound all the same,
    // its settings already written.
    velmar::ExitAfter(1800, 0);
    program.Logic().Terminate();
    // An open question or dialog runs a nested loop that must end for the program to end.
    for (int i = 0; i < 16; ++i) {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) break;
      dialog->reject();
    }
  });
  program.Start();
  program.Run();
  return 0;
}
