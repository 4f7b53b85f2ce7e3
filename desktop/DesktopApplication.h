#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MainWindow.h"

namespace velmar {

class DesktopWindow;
class QtEventLoop;
class QtView;

// The program's set-up from its command line (`arguments` as Qt gives them, the program
// first): with any text after the program's name, as the autostart entry gives "--tray", it
// starts with only its tray icon; the text itself means nothing. Needs the QApplication.
MainWindowSetup DesktopSetup(const std::vector<std::string>& arguments);

// One run of the desktop program: the Qt event loop, the window's widgets, the view over
// them and the window logic, wired together. main() and the tests build the same thing; the
// tests bring their own view (to answer the questions) and clock.
class DesktopApplication {
 public:
  using ViewFactory = std::function<std::unique_ptr<QtView>(DesktopWindow&)>;

  explicit DesktopApplication(MainWindowSetup setup, ViewFactory make_view = {});
  ~DesktopApplication();
  DesktopApplication(const DesktopApplication&) = delete;
  DesktopApplication& operator=(const DesktopApplication&) = delete;

  // The window's initialisation: shows it (or starts in the tray), reads the settings,
  // starts the workers.
  void Start();
  // Runs until the program is ended (EXIT, or a close request that is not refused).
  void Run();

  MainWindow& Logic() { return *logic_; }
  DesktopWindow& Window() { return *window_; }
  QtEventLoop& Loop() { return *loop_; }
  QtView& View() { return *view_; }

 private:
  void ShowAbout();

  std::unique_ptr<QtEventLoop> loop_;
  std::unique_ptr<DesktopWindow> window_;
  std::unique_ptr<QtView> view_;
  std::unique_ptr<MainWindow> logic_;
};

}  // namespace velmar
