#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/EventPoster.h"
#include "platform/HttpTransport.h"
#include "platform/WorkerThread.h"
#include "server/DatabaseList.h"
#include "server/HttpClient.h"
#include "server/OptionList.h"
#include "server/OthersList.h"
#include "server/ServerAddress.h"
#include "server/ServerRequest.h"
#include "server/VersionInfo.h"

namespace velmar {

// The base of the workers that talk to the update server: its own HTTP client (never shared
// with another thread), the conversation (identity, form body, reply), the catalogue records
// every worker owns, the state number of its step machine, and the window it reports to.
class ServerWorker : public WorkerThread {
 public:
  static constexpr uint32_t kBaseMessage = 2047;

  explicit ServerWorker(const ServerAddress& server = ServerAddress::FromEnvironment(),
                        HttpTransport& transport = SystemHttpTransport(),
                        Clock& clock = SystemClock());
  ~ServerWorker() override;

  // The window that receives this worker's events; null drops them.
  void SetWindow(EventPoster* window) { window_.store(window); }
  EventPoster* Window() const { return window_.load(); }
  uint32_t MessageNumber() const { return message_number_; }

  // serial and version when given (not null); tool is always reset to the product code.
  // Called while the worker's thread is stopped or idle.
  virtual void SetIdentity(const char* serial, const char* version);
  // Hands a proxy login to this worker's client and notes that it was given. Safe from the
  // window's thread while the worker runs.
  void SetProxyCredentials(std::string_view user, std::string_view password);
  bool ProxyLoginGiven() const { return proxy_login_given_.load() == 1; }

  int32_t State() const { return state_.load(); }
  int32_t FailureValue() const { return failure_value_; }

  // Reports to the window: message number, event, value. SendEvent does not wait for the
  // window here, since no worker depends on the window having handled an event; it posts too.
  virtual void SendEvent(int32_t event, int32_t value);
  virtual void PostEvent(int32_t event, int32_t value);

  HttpClient& Http() { return http_; }
  ServerRequest& Request() { return request_; }
  VersionInfo& Version() { return version_; }
  OptionList& Options() { return options_; }
  DatabaseList& Databases() { return databases_; }
  OthersList& Others() { return others_; }
  const VersionInfo& Version() const { return version_; }
  const OptionList& Options() const { return options_; }
  const DatabaseList& Databases() const { return databases_; }
  const OthersList& Others() const { return others_; }

 protected:
  void OnStart() override {}
  void OnStop() override {}
  // A bare server worker has no work; it idles rather than spinning.
  void Step() override;

  void SetMessageNumber(uint32_t message) { message_number_ = message; }
  void SetState(int32_t state) { state_.store(state); }
  // Moves from expected to desired only when the state is expected (a window asking an idle
  // worker to begin while the worker's thread reads the state).
  bool ChangeState(int32_t expected, int32_t desired) {
    return state_.compare_exchange_strong(expected, desired);
  }
  void SetProxyLoginGiven(bool given) { proxy_login_given_.store(given ? 1 : 0); }
  void SetFailureValue(int32_t value) { failure_value_ = value; }
  Clock& WorkerClock() { return clock_; }

 private:
  // Declared before the request, which refers to them.
  HttpClient http_;
  VersionInfo version_;
  OptionList options_;
  DatabaseList databases_;
  OthersList others_;
  ServerRequest request_;
  Clock& clock_;
  std::atomic<EventPoster*> window_{nullptr};
  uint32_t message_number_ = kBaseMessage;
  std::atomic<int32_t> state_{0};
  int32_t failure_value_ = -1;
  std::atomic<int32_t> proxy_login_given_{0};
};

}  // namespace velmar
