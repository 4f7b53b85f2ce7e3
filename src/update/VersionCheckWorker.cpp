#include "update/VersionCheckWorker.h"

namespace velmar {

VersionCheckWorker::VersionCheckWorker(const ServerAddress& server, HttpTransport& transport,
                                       Clock& clock)
    : ServerWorker(server, transport, clock) {
  SetMessageNumber(kMessage);
  // Idle from the start, so that a check asked for before the thread runs is not refused.
  SetState(kStateIdle);
}

VersionCheckWorker::~VersionCheckWorker() { Stop(); }

void VersionCheckWorker::SetIdentity(const char* serial, const char* version) {
  std::lock_guard<std::mutex> guard(start_lock_);
  if (serial != nullptr) serial_ = serial;
  if (version != nullptr) version_ = version;
  // A run asking about the tool that went away reports nothing about the new one.
  if (IsRunState(State())) stale_ = true;
}

bool VersionCheckWorker::StartCheck(int32_t automatic_offer) {
  std::lock_guard<std::mutex> guard(start_lock_);
  if (ChangeState(kStateIdle, kStateVersionRedirect)) {
    automatic_offer_ = automatic_offer;
    return true;
  }
  if (!stale_ || !IsRunState(State())) return false;
  queued_ = true;
  queued_offer_ = automatic_offer;
  return true;
}

void VersionCheckWorker::TakeIdentity() {
  std::lock_guard<std::mutex> guard(start_lock_);
  Request().SetIdentity(serial_.c_str(), version_.c_str());
  stale_ = false;
  queued_ = false;
}

bool VersionCheckWorker::EndRun(int32_t from, int32_t* offer) {
  std::lock_guard<std::mutex> guard(start_lock_);
  if (stale_) {
    // The check asked for the new tool starts now; without one the worker idles.
    if (queued_ && ChangeState(from, kStateVersionRedirect)) {
      automatic_offer_ = queued_offer_;
    } else {
      ChangeState(from, kStateIdle);
    }
    queued_ = false;
    stale_ = false;
    return false;
  }
  if (!ChangeState(from, kStateIdle)) return false;
  if (offer != nullptr) *offer = automatic_offer_;
  return true;
}

void VersionCheckWorker::CancelCheck() {
  // Only a run is cancelled; a status report in progress keeps its state.
  const int32_t state = State();
  if (state >= kStateVersionRedirect && state <= kStateOthers) ChangeState(state, kStateIdle);
}

bool VersionCheckWorker::ReportStatus(std::string_view file, std::string_view status) {
  return ReportStatus(StatusFields(file, status));
}

StatusReport VersionCheckWorker::StatusFields(std::string_view file, std::string_view status) {
  // The tool the window knows now, not the one a run may still be asking about.
  std::lock_guard<std::mutex> guard(start_lock_);
  return StatusReport{serial_, version_, Request().Tool(), std::string(file), std::string(status)};
}

bool VersionCheckWorker::ReportStatus(const StatusReport& report) {
  // The client belongs to whoever holds the idle worker: borrow it for the report.
  if (!ChangeState(kStateIdle, kStateReporting)) return false;
  const int result = Request().SetStatus(report);
  Http().Close();
  ChangeState(kStateReporting, kStateIdle);
  return result == 0;
}

int32_t VersionCheckWorker::AutomaticOffer() {
  std::lock_guard<std::mutex> guard(start_lock_);
  return automatic_offer_;
}

bool VersionCheckWorker::IsChecking() const { return IsRunState(State()); }

void VersionCheckWorker::OnStart() {
  // The state is idle already, or a run was asked for before the thread started.
}

void VersionCheckWorker::OnStop() {
  // A run cut short by a stop does not resume at the next start.
  const int32_t state = State();
  if (state >= kStateVersionRedirect && state <= kStateOthers) ChangeState(state, kStateIdle);
  Http().Close();
}

void VersionCheckWorker::Fail(int32_t from) {
  if (EndRun(from)) PostEvent(kEventFailed, 0);
}

void VersionCheckWorker::FirstStep(int32_t state, const char* action, int32_t next) {
  if (Request().RedirectStep(action) == 0) {
    Advance(state, next);
  } else {
    Fail(state);
  }
}

void VersionCheckWorker::SecondStep(int32_t state, const char* action, int32_t next) {
  if (Request().ActionStep(action, true) != 0) {
    Fail(state);
    return;
  }
  // A run cancelled during the request leaves the records as they were.
  if (State() != state) return;
  std::string& reply = Request().Reply();
  switch (state) {
    case kStateVersion:
      Version().ReadVersion(reply);
      break;
    case kStateOptions:
      Options().Read(reply);
      break;
    case kStateDatabases:
      Databases().Read(reply);
      break;
    case kStateOthers:
      Others().Read(reply);
      break;
  }
  if (state != kStateOthers) {
    Advance(state, next);
    return;
  }
  int32_t offer = 0;
  if (EndRun(state, &offer)) PostEvent(kEventListsComplete, offer);
}

bool VersionCheckWorker::IsStale() {
  std::lock_guard<std::mutex> guard(start_lock_);
  return stale_;
}

void VersionCheckWorker::Step() {
  const int32_t state = State();
  // A stale run goes no further: its remaining requests would ask about the wrong tool.
  if (state != kStateVersionRedirect && state != kStateProxyWait && IsRunState(state) &&
      IsStale()) {
    EndRun(state);
    return;
  }
  switch (state) {
    case kStateVersionRedirect:
      TakeIdentity();
      PostEvent(kEventConnecting, 0);
      if (Request().RedirectStep(server_action::kTestVersion) == 0) {
        if (Advance(state, kStateVersion)) PostEvent(kEventConnected, 0);
      } else if (Http().ProxyLoginWanted()) {
        // Cleared before the window hears of it, so that its answer is not lost.
        SetProxyLoginGiven(false);
        if (Advance(state, kStateProxyWait)) PostEvent(kEventProxyLogin, 0);
      } else {
        Fail(state);
      }
      return;
    case kStateVersion:
      SecondStep(state, server_action::kTestVersion, kStateOptionsRedirect);
      return;
    case kStateProxyWait:
      if (ProxyLoginGiven()) {
        Advance(state, kStateVersionRedirect);
      } else {
        WorkerClock().SleepMs(kProxyWaitSleepMs);
      }
      return;
    case kStateOptionsRedirect:
      FirstStep(state, server_action::kListOptions, kStateOptions);
      return;
    case kStateOptions:
      SecondStep(state, server_action::kListOptions, kStateDatabasesRedirect);
      return;
    case kStateDatabasesRedirect:
      FirstStep(state, server_action::kListDatabases, kStateDatabases);
      return;
    case kStateDatabases:
      SecondStep(state, server_action::kListDatabases, kStateOthersRedirect);
      return;
    case kStateOthersRedirect:
      FirstStep(state, server_action::kListOthers, kStateOthers);
      return;
    case kStateOthers:
      SecondStep(state, server_action::kListOthers, kStateIdle);
      return;
    default:
      WorkerClock().SleepMs(kIdleSleepMs);
      return;
  }
}

}  // namespace velmar
