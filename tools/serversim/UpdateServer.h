#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "RequestLog.h"

namespace velmar::serversim {

inline constexpr char kRedirectPath[] = "/download/redirect.php";
inline constexpr char kDefaultActionPath[] = "/download/update.php";

// Ways to misbehave, for the client's error paths.
struct Faults {
  std::string proxyLogin;                  // "user:password": 407 unless it is sent
  std::map<std::string, int> failRedirect;  // action (or "*") -> status of the redirect step
  std::map<std::string, int> failAction;    // action (or "*") -> status of the action step
  bool noLien = false;                      // redirect replies without "lien"
  bool chunked = false;                     // packages without Content-Length
  std::optional<uint64_t> truncateAt;       // packages cut after that many bytes
  uint32_t slowMs = 0;                      // pause between pieces of a package body
  uint32_t slowPiece = 256;                 // size of those pieces
};

struct SimRequest {
  std::string method = "POST";
  std::string path;
  std::string body;
  std::string host;  // the Host header
  std::string userAgent;
  std::string contentType;
  std::string proxyAuthorization;
};

struct SimReply {
  int status = 200;
  std::string contentType = "text/html";
  std::string body;  // text, or the package bytes
  std::vector<std::pair<std::string, std::string>> headers;
  bool isPackage = false;
  // How a package body goes out (faults): without Content-Length, cut short, or in paced pieces.
  bool chunked = false;
  std::optional<uint64_t> truncateAt;
  uint32_t pauseMs = 0;
  uint32_t pieceSize = 256;
};

// The update server's behaviour, apart from sockets: answers the redirect script and the
// action script from the catalogue, applies the faults and logs every request.
// Safe to call from several connection threads at once.
class UpdateServer {
 public:
  UpdateServer(const Catalogue& catalogue, const Faults& faults, RequestLog* log);

  // The address the redirect names in "lien". When empty, it is made from the request's Host.
  void SetLien(const std::string& lien) { lien_ = lien; }
  void SetActionPath(const std::string& path) { actionPath_ = path; }
  const std::string& ActionPath() const { return actionPath_; }

  SimReply Handle(const SimRequest& request);

 private:
  SimReply Redirect(const SimRequest& request, const FormBody& form, LogRecord& record);
  SimReply Action(const SimRequest& request, const FormBody& form, LogRecord& record);
  SimReply Download(const ToolEntry& tool, const std::string& version, LogRecord& record);
  SimReply Package(const std::string& path, LogRecord& record);
  std::string LienFor(const SimRequest& request) const;
  std::string Tag(const std::string& name, const std::string& value, bool freeText) const;
  std::optional<int> FailureFor(const std::map<std::string, int>& table,
                                const std::string& action) const;

  const Catalogue& catalogue_;
  Faults faults_;
  RequestLog* log_;
  std::string lien_;
  std::string actionPath_ = kDefaultActionPath;
  std::string expectedProxyHeader_;
};

std::string Base64(const std::string& text);

}  // namespace velmar::serversim
