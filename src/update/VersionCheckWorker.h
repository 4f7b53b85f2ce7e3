#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "update/ServerWorker.h"

namespace velmar {

// Asks the update server about one tool: whether a newer software version exists, and the
// options, databases and other packages it offers. Eight requests per check run, two per
// action, each reply filling one catalogue record that the window and the update sequence read
// once the run has reported its completion (event 8). Idles between runs for the window's
// whole life. Also sends the end-of-update report ("setstatus").
class VersionCheckWorker : public ServerWorker {
 public:
  static constexpr uint32_t kMessage = 2048;

  // Events of message 2048.
  static constexpr int32_t kEventProxyLogin = 6;     // the first request met a proxy's 407
  static constexpr int32_t kEventListsComplete = 8;  // value: the automatic-offer flag
  static constexpr int32_t kEventConnecting = 18;    // before the first request of a run
  static constexpr int32_t kEventFailed = 19;        // any other failure
  static constexpr int32_t kEventConnected = 20;     // the first request was answered

  // States. A run goes 0 1 4 5 6 7 8 9 and back to idle; 2 waits for a proxy login.
  enum : int32_t {
    kStateVersionRedirect = 0,
    kStateVersion = 1,
    kStateProxyWait = 2,
    kStateOptionsRedirect = 4,
    kStateOptions = 5,
    kStateDatabasesRedirect = 6,
    kStateDatabases = 7,
    kStateOthersRedirect = 8,
    kStateOthers = 9,
    kStateIdle = 10,
    // Idle, with the client lent to the window's synchronous status report.
    kStateReporting = 11,
  };

  static constexpr uint32_t kIdleSleepMs = 500;
  static constexpr uint32_t kProxyWaitSleepMs = 500;

  explicit VersionCheckWorker(const ServerAddress& server = ServerAddress::FromEnvironment(),
                              HttpTransport& transport = SystemHttpTransport(),
                              Clock& clock = SystemClock());
  ~VersionCheckWorker() override;

  // The tool the next run asks about (window's thread, at any time). A run takes its own copy
  // when it begins; an identity given during a run makes that run stale: it ends at its next
  // step without posting a result.
  void SetIdentity(const char* serial, const char* version) override;
  // Starts a check run when the worker is idle (window's thread); false, with nothing
  // changed, while a run for the same identity is in progress. During a stale run the check
  // is queued and begins as soon as that run ends (true). automatic_offer comes back with
  // event 8. May be called before the thread runs: the run begins as soon as it does.
  bool StartCheck(int32_t automatic_offer);
  // Back to idle (the user cancelled the proxy login). A request in flight finishes, but its
  // run goes no further and reports nothing.
  void CancelCheck();
  // "setstatus" with file and status, synchronously on the caller's thread. False when a
  // request failed, or when a check run is using the client (the report is then not sent).
  bool ReportStatus(std::string_view file, std::string_view status);
  // The same with fields kept from an earlier attempt (their identity, not the current one).
  bool ReportStatus(const StatusReport& report);
  // What ReportStatus(file, status) would send now (window's thread).
  StatusReport StatusFields(std::string_view file, std::string_view status);

  int32_t AutomaticOffer();
  bool IsChecking() const;

 protected:
  void OnStart() override;
  void OnStop() override;
  void Step() override;

 private:
  // The worker's own moves: they lose against a cancel or a new run started meanwhile.
  bool Advance(int32_t from, int32_t to) { return ChangeState(from, to); }
  void Fail(int32_t from);
  // Copies the identity given last into the request, for the run that begins now.
  void TakeIdentity();
  // Ends the run in state `from`. True when its outcome may be posted (then `offer` is the
  // run's automatic-offer flag); false for a stale run, which starts the queued check instead.
  bool EndRun(int32_t from, int32_t* offer = nullptr);
  bool IsStale();
  bool IsRunState(int32_t state) const {
    return state >= kStateVersionRedirect && state <= kStateOthers;
  }
  void FirstStep(int32_t state, const char* action, int32_t next);
  void SecondStep(int32_t state, const char* action, int32_t next);

  // StartCheck's state change and flag, the identity and the run's staleness, against their
  // reader on the worker's thread.
  std::mutex start_lock_;
  int32_t automatic_offer_ = 0;  // guarded by start_lock_
  std::string serial_;           // guarded by start_lock_
  std::string version_;          // guarded by start_lock_
  bool stale_ = false;           // guarded by start_lock_: the identity changed during the run
  bool queued_ = false;          // guarded by start_lock_: a check waits for the stale run's end
  int32_t queued_offer_ = 0;     // guarded by start_lock_
};

}  // namespace velmar
