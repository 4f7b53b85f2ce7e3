#pragma once
#include <functional>
#include <memory>

#include "app/MainWindow.h"

namespace velmar {

class DesktopWindow;
class QtEventLoop;
class QtView;

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
