// Velmar, the desktop program: one instance per user, the window (or only its tray icon when
// started with any command-line text, as an autostart entry does) until EXIT.
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "DesktopApplication.h"
#include "TerminationSignals.h"
#include "app/Strings.h"
#include "platform/InstanceLock.h"
#include "platform/PortPaths.h"
#include "platform/Termination.h"

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

  // Kept outside the window logic so that it outlives it.
  velmar::HistoryStore history;
  std::string history_error;
  std::vector<std::string> notes = std::move(setup.start_notes);
  setup = velmar::DesktopSetup(std::vector<std::string>(argv, argv + std::max(argc, 0)));
  setup.start_notes = std::move(notes);
  if (history.OpenDefault(history_error)) {
    setup.history = &history;
  } else {
    std::fprintf(stderr, "velmar: the update history is not kept: %s\n", history_error.c_str());
  }
  std::string port_problem;
  if (!velmar::UsablePortDirectory(&port_problem))
    setup.start_notes.push_back(velmar::PortFolderIgnoredLine(port_problem));
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
