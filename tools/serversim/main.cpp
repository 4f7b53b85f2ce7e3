// velmar-serversim: a local update server for tests, the demo and offline trials.
#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "Catalogue.h"
#include "RequestLog.h"
#include "ServerOptions.h"
#include "UpdateServer.h"

namespace {

using namespace velmar::serversim;

// Lets paced bodies end at once when the server is asked to stop.
class StopSignal {
 public:
  void Raise() {
    std::lock_guard<std::mutex> guard(lock_);
    stopped_ = true;
    wake_.notify_all();
  }
  // Waits `ms`; false when the server stops meanwhile.
  bool Pause(uint32_t ms) {
    std::unique_lock<std::mutex> guard(lock_);
    return !wake_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return stopped_; });
  }

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  bool stopped_ = false;
};

bool IsWildcard(const std::string& host) { return host == "0.0.0.0" || host == "::"; }

std::string HostForUrl(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

void SendReply(const SimReply& reply, httplib::Response& res, StopSignal& stop) {
  res.status = reply.status;
  for (const auto& [name, value] : reply.headers) res.set_header(name, value);
  const bool paced = reply.pauseMs > 0;
  if (!reply.isPackage || reply.body.empty() || (!reply.chunked && !reply.truncateAt && !paced)) {
    res.set_content(reply.body, reply.contentType);
    return;
  }
  auto body = std::make_shared<std::string>(reply.body);
  const size_t piece = paced ? reply.pieceSize : 64 * 1024;
  const uint32_t pause = reply.pauseMs;
  StopSignal* signal = &stop;
  if (reply.chunked) {
    res.set_chunked_content_provider(
        reply.contentType, [body, piece, pause, signal](size_t offset, httplib::DataSink& sink) {
          if (pause > 0 && !signal->Pause(pause)) return false;
          const size_t n = std::min(piece, body->size() - offset);
          if (!sink.write(body->data() + offset, n)) return false;
          if (offset + n >= body->size()) sink.done();
          return true;
        });
    return;
  }
  // Announces the whole length; a truncated body stops early and the connection is dropped.
  const size_t limit = reply.truncateAt ? static_cast<size_t>(*reply.truncateAt) : body->size();
  res.set_content_provider(
      body->size(), reply.contentType,
      [body, piece, pause, limit, signal](size_t offset, size_t length, httplib::DataSink& sink) {
        if (offset >= limit) return false;
        if (pause > 0 && !signal->Pause(pause)) return false;
        const size_t n = std::min({piece, length, limit - offset});
        return sink.write(body->data() + offset, n);
      });
}

void Configure(httplib::Server& server, UpdateServer& logic, StopSignal& stop) {
  // Short keep-alive so that a stop does not wait on idle connections.
  server.set_keep_alive_timeout(1);
  server.set_read_timeout(5, 0);
  server.set_write_timeout(5, 0);
  auto handler = [&logic, &stop](const httplib::Request& req, httplib::Response& res) {
    SimRequest request;
    request.method = req.method;
    request.path = req.path;
    request.body = req.body;
    request.host = req.get_header_value("Host");
    request.userAgent = req.get_header_value("User-Agent");
    request.contentType = req.get_header_value("Content-Type");
    request.proxyAuthorization = req.get_header_value("Proxy-Authorization");
    SendReply(logic.Handle(request), res, stop);
  };
  server.Post(".*", handler);
  server.Get(".*", handler);
  server.Put(".*", handler);
  server.Delete(".*", handler);
}

// Binds and returns the port in use, or -1.
int Bind(httplib::Server& server, const Endpoint& at) {
  if (at.port == 0) return server.bind_to_any_port(at.host);
  return server.bind_to_port(at.host, at.port) ? at.port : -1;
}

}  // namespace

int main(int argc, char** argv) {
  ServerOptions options;
  std::string error;
  if (!ParseServerOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "velmar-serversim: %s\n%s", error.c_str(), kServerUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(kServerUsage, stdout);
    return 0;
  }
  Catalogue catalogue;
  if (!catalogue.Load(options.catalog, error)) {
    std::fprintf(stderr, "velmar-serversim: %s\n", error.c_str());
    return 1;
  }
  RequestLog log;
  if (!options.logFile.empty() && !log.Open(options.logFile, error)) {
    std::fprintf(stderr, "velmar-serversim: %s\n", error.c_str());
    return 1;
  }

  // Signals go to one waiting thread, never to the connection threads.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  UpdateServer logic(catalogue, options.faults, &log);
  logic.SetActionPath(options.actionPath);
  StopSignal stop;

  httplib::Server redirectServer;
  Configure(redirectServer, logic, stop);
  const int port = Bind(redirectServer, options.listen);
  if (port <= 0) {
    std::fprintf(stderr, "velmar-serversim: cannot listen on %s:%d\n", options.listen.host.c_str(),
                 options.listen.port);
    return 1;
  }
  std::unique_ptr<httplib::Server> actionServer;
  std::string lien = options.lien;
  if (options.haveActionListen) {
    actionServer = std::make_unique<httplib::Server>();
    Configure(*actionServer, logic, stop);
    Endpoint at = options.actionListen;
    if (at.port < 0) at.port = port;
    const int actionPort = Bind(*actionServer, at);
    if (actionPort <= 0) {
      std::fprintf(stderr, "velmar-serversim: cannot listen on %s:%d\n",
                   options.actionListen.host.c_str(), options.actionListen.port);
      return 1;
    }
    if (lien.empty()) {
      lien = "http://" + HostForUrl(options.actionListen.host) + ":" +
             std::to_string(actionPort) + options.actionPath;
    }
    std::fprintf(stderr, "velmar-serversim: action script at %s\n", lien.c_str());
  } else if (lien.empty() && !IsWildcard(options.listen.host)) {
    lien = "http://" + HostForUrl(options.listen.host) + ":" + std::to_string(port) +
           options.actionPath;
  }
  logic.SetLien(lien);  // empty: named after the Host the client used

  std::atomic<bool> stopping{false};
  auto stopAll = [&]() {
    stopping = true;
    stop.Raise();
    redirectServer.stop();
    if (actionServer) actionServer->stop();
  };
  std::thread signalThread([&]() {
    int received = 0;
    sigwait(&signals, &received);
    stopAll();
  });

  std::thread actionThread;
  if (actionServer) actionThread = std::thread([&]() { actionServer->listen_after_bind(); });
  std::printf("listening on %s:%d\n", HostForUrl(options.listen.host).c_str(), port);
  std::fflush(stdout);
  const bool listened = redirectServer.listen_after_bind();

  if (!stopping) {
    // The listener ended by itself: wake the signal thread so that everything winds down.
    std::fprintf(stderr, "velmar-serversim: the listener stopped unexpectedly\n");
    kill(getpid(), SIGTERM);
  }
  signalThread.join();
  if (actionThread.joinable()) actionThread.join();
  return listened || stopping ? 0 : 1;
}
