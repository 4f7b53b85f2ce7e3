#pragma once
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "CliOptions.h"
#include "ConsoleView.h"
#include "HttpTrace.h"
#include "app/MainWindow.h"
#include "app/StdEventLoop.h"

namespace velmar::cli {

// What the program-update worker reported to the window during a self-update run.
struct ProgramUpdateRecord {
  bool offered = false;         // event 25: the server has a newer version
  bool request_failed = false;  // events 1 and 21
  bool proxy_login = false;     // event 6
  int ended_value = -1;         // value of event 13, -1 before it
  bool thread_ended = false;    // event 26
};

// One run of the window logic for a command: the settings of the run (from the user's file,
// with the port choice of the command line and never the program's self-update) in a private
// folder, the event loop, the window, and the wait for the tool.
class Session {
 public:
  Session(const CliOptions& options, ConsoleView& view, std::ostream& trace);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Writes the run's settings and starts the window's device search. An exit code; on a
  // failure `error` says what went wrong and what to try.
  int Start(std::string& error);
  // Starts the window with the program's self-update instead of the device search, the new
  // version going into `folder`. The device search that the window would start at the
  // worker's end is left out: this run is about the program, not the tool.
  int StartSelfUpdate(const std::string& folder, std::string& error);
  const ProgramUpdateRecord& ProgramUpdate() const { return program_update_; }
  // Runs the window until a tool is found and identified, or the detection time-out.
  int WaitForTool(std::string& error);
  // Runs the window until done() or max_ms have passed; done() at the end.
  bool RunUntil(const std::function<bool()>& done, uint64_t max_ms);

  MainWindow& Window() { return *window_; }
  // Posts a message to the window, as a dialog of the desktop program does.
  void Post(uint32_t message, int32_t event, int32_t value) { loop_.Post(message, event, value); }
  // The window's current status log holds this line.
  bool LogHas(int string_id) const;
  // A proxy asked for a login that this run could not give (none, or one it refused).
  bool ProxyLoginMissing() const { return view_.ProxyLoginMissing(); }

 private:
  // Why no tool was found, when the ports tell: a present adapter port we may not open.
  std::string NoToolAdvice() const;
  // Creates and initialises the window on these settings.
  int Launch(AppConfig config, const std::string& program_folder, std::string& error);

  // Between the loop and the window during a self-update: notes the worker's events and
  // keeps its end from starting the device search.
  class ProgramUpdateFilter : public EventHandler {
   public:
    explicit ProgramUpdateFilter(Session& session) : session_(session) {}
    void OnMessage(uint32_t message, int32_t event, int32_t value) override;
    void OnTimer(int timer_id) override;

   private:
    Session& session_;
  };

  const CliOptions& options_;
  ConsoleView& view_;
  std::ostream& trace_;
  std::string folder_;
  StdEventLoop loop_;
  std::unique_ptr<TracingHttpTransport> http_trace_;
  std::unique_ptr<MainWindow> window_;
  ProgramUpdateFilter filter_{*this};
  ProgramUpdateRecord program_update_;
};

// "permission denied" advice for a port device we may not read and write; empty when we may.
std::string PortAccessProblem(const std::string& device_path);

}  // namespace velmar::cli
