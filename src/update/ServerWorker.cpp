#include "update/ServerWorker.h"

namespace velmar {

ServerWorker::ServerWorker(const ServerAddress& server, HttpTransport& transport, Clock& clock)
    : http_(transport, server.port), request_(http_, version_, server), clock_(clock) {}

ServerWorker::~ServerWorker() {
  // The thread uses the members below; it must end before they go.
  Stop();
}

void ServerWorker::SetIdentity(const char* serial, const char* version) {
  request_.SetIdentity(serial, version);
}

void ServerWorker::SetProxyCredentials(std::string_view user, std::string_view password) {
  http_.SetProxyLogin(user, password);
  proxy_login_given_.store(1);
}

void ServerWorker::SendEvent(int32_t event, int32_t value) { PostEvent(event, value); }

void ServerWorker::PostEvent(int32_t event, int32_t value) {
  EventPoster* window = window_.load();
  if (window != nullptr) window->Post(message_number_, event, value);
}

void ServerWorker::Step() { clock_.SleepMs(100); }

}  // namespace velmar
