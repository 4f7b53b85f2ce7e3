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

bool VersionCheckWorker::StartCheck(int32_t automatic_offer) {
  std::lock_guard<std::mutex> guard(start_lock_);
  if (!ChangeState(kStateIdle, kStateVersionRedirect)) return false;
  automatic_offer_ = automatic_offer;
  return true;
}

void VersionCheckWorker::CancelCheck() {
  // Only a run is cancelled; a status report in progress keeps its state.
  const int32_t state = State();
  if (state >= kStateVersionRedirect && state <= kStateOthers) ChangeState(state, kStateIdle);
}

bool VersionCheckWorker::ReportStatus(std::string_view file, std::string_view status) {
  // The client belongs to whoever holds the idle worker: borrow it for the report.
  if (!ChangeState(kStateIdle, kStateReporting)) return false;
  const int result = Request().SetStatus(file, status);
  Http().Close();
  ChangeState(kStateReporting, kStateIdle);
  return result == 0;
}

int32_t VersionCheckWorker::AutomaticOffer() {
  std::lock_guard<std::mutex> guard(start_lock_);
  return automatic_offer_;
}

bool VersionCheckWorker::IsChecking() const {
  const int32_t state = State();
  return state >= kStateVersionRedirect && state <= kStateOthers;
}

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
  if (Advance(from, kStateIdle)) PostEvent(kEventFailed, 0);
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
  if (!Advance(state, next)) return;
  if (state == kStateOthers) PostEvent(kEventListsComplete, AutomaticOffer());
}

void VersionCheckWorker::Step() {
  const int32_t state = State();
  switch (state) {
    case kStateVersionRedirect:
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
