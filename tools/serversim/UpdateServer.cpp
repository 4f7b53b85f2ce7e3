#include "UpdateServer.h"

#include <openssl/evp.h>

#include <fstream>
#include <iterator>

namespace velmar::serversim {
namespace {

const char* const kActions[] = {"test_version", "list_options",     "list_dbs",
                                "list_oth",     "download_version", "setstatus"};

bool KnownAction(const std::string& action) {
  for (const char* a : kActions) {
    if (action == a) return true;
  }
  return false;
}

SimReply TextReply(int status, const std::string& body) {
  SimReply reply;
  reply.status = status;
  reply.body = body;
  return reply;
}

SimReply ErrorReply(int status, const std::string& message) {
  return TextReply(status, "<erreur>" + message + "</erreur>");
}

// The address the client used to reach us, as the Host header gives it.
std::string HostWithPort(const std::string& hostHeader) {
  return hostHeader.empty() ? std::string("localhost") : hostHeader;
}

}  // namespace

std::string Base64(const std::string& text) {
  std::string out(4 * ((text.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(text.data()),
                                static_cast<int>(text.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

UpdateServer::UpdateServer(const Catalogue& catalogue, const Faults& faults, RequestLog* log)
    : catalogue_(catalogue), faults_(faults), log_(log) {
  if (!faults_.proxyLogin.empty()) expectedProxyHeader_ = "Basic " + Base64(faults_.proxyLogin);
  if (faults_.slowPiece == 0) faults_.slowPiece = 1;
}

std::optional<int> UpdateServer::FailureFor(const std::map<std::string, int>& table,
                                            const std::string& action) const {
  auto it = table.find(action);
  if (it == table.end()) it = table.find("*");
  if (it == table.end()) return std::nullopt;
  return it->second;
}

std::string UpdateServer::LienFor(const SimRequest& request) const {
  if (!lien_.empty()) return lien_;
  return "http://" + HostWithPort(request.host) + actionPath_;
}

std::string UpdateServer::Tag(const std::string& name, const std::string& value,
                              bool freeText) const {
  const std::string inner =
      freeText && catalogue_.UseCdata() ? "<![CDATA[" + value + "]]>" : value;
  return "<" + name + ">" + inner + "</" + name + ">";
}

SimReply UpdateServer::Handle(const SimRequest& request) {
  LogRecord record;
  record.path = request.path;
  record.method = request.method;
  record.body = request.body;
  record.userAgent = request.userAgent;
  record.contentType = request.contentType;
  record.proxyAuthorization = !request.proxyAuthorization.empty();
  record.form = FormBody(request.body);
  record.action = record.form.Get("a");

  SimReply reply;
  if (request.path == kRedirectPath) {
    record.step = "redirect";
  } else if (request.path == actionPath_) {
    record.step = "action";
    // The status report carries no "a": it is known by its "status" field.
    if (!record.form.Has("a") && record.form.Has("status")) record.action = "setstatus";
  } else {
    record.step = "other";
  }

  if (!expectedProxyHeader_.empty() && request.proxyAuthorization != expectedProxyHeader_) {
    reply = TextReply(407, "Proxy Authentication Required");
    reply.headers.emplace_back("Proxy-Authenticate", "Basic realm=\"velmar-serversim\"");
    record.fault = request.proxyAuthorization.empty() ? "proxy login missing"
                                                      : "proxy login wrong";
  } else if (record.step == "other") {
    reply = TextReply(404, "Not Found");
  } else if (request.method != "POST") {
    reply = TextReply(405, "Method Not Allowed");
    reply.headers.emplace_back("Allow", "POST");
  } else if (auto code = FailureFor(record.step == "redirect" ? faults_.failRedirect
                                                              : faults_.failAction,
                                    record.action)) {
    reply = ErrorReply(*code, "injected failure");
    record.fault = "status " + std::to_string(*code);
  } else if (record.step == "redirect") {
    reply = Redirect(request, record.form, record);
  } else {
    reply = Action(request, record.form, record);
  }
  record.status = reply.status;
  if (log_ != nullptr) log_->Write(record);
  return reply;
}

SimReply UpdateServer::Redirect(const SimRequest& request, const FormBody& form,
                                LogRecord& record) {
  const ToolEntry* tool = catalogue_.FindTool(form.Get("s"));
  const std::string texte = tool != nullptr && tool->texte ? *tool->texte : catalogue_.Texte();
  std::string body = Tag("texte", texte, true);
  if (faults_.noLien) {
    record.fault = "no lien";
  } else {
    body += Tag("lien", LienFor(request), false);
  }
  return TextReply(200, body);
}

SimReply UpdateServer::Action(const SimRequest& request, const FormBody& form,
                              LogRecord& record) {
  const std::string& action = record.action;
  if (!KnownAction(action)) return ErrorReply(400, "unknown action");
  if (action == "setstatus") return TextReply(200, Tag("texte", "OK", true));

  const ToolEntry* tool = catalogue_.FindTool(form.Get("s"));
  if (tool == nullptr) return ErrorReply(404, "unknown tool");
  const std::string version = form.Get("v");

  std::string body;
  if (action == "test_version") {
    const std::string texte = tool->texte ? *tool->texte : catalogue_.Texte();
    body += Tag("texte", texte, true);
    body += Tag("lien", LienFor(request), false);
    std::string valid = "1";
    std::string newest;
    if (tool->software) {
      newest = tool->software->version;
      // Only a strictly newer version is offered; a tool at (or past) it is current.
      if (CompareVersions(version, newest) < 0) valid = "0";
    }
    if (tool->versionValid) valid = *tool->versionValid;
    body += Tag("versionValid", valid, false);
    body += Tag("newVersion", newest, false);
    if (tool->serverMsg) body += Tag("serverMsg", *tool->serverMsg, true);
    if (tool->usb) body += Tag("usb", *tool->usb, false);
    if (tool->sd) body += Tag("sd", *tool->sd, false);
    if (tool->rs) body += Tag("rs", *tool->rs, false);
  } else if (action == "list_options") {
    for (const TagValues& option : tool->options) {
      body += "<option>";
      for (const auto& [tag, value] : option) {
        body += Tag(tag, value, tag == "name" || tag == "desc");
      }
      body += "</option>";
    }
  } else if (action == "list_dbs") {
    // zone and cntry first: the client reads them before it walks the pairs.
    if (tool->zone) body += Tag("zone", *tool->zone, false);
    if (tool->cntry) body += Tag("cntry", *tool->cntry, false);
    for (const DatabasePairEntry& pair : tool->databases) {
      body += "<duo>" + Tag("dbs", pair.dbs, false) + Tag("rel", pair.rel, false) + "</duo>";
    }
  } else if (action == "list_oth") {
    for (const std::string& name : tool->others) body += Tag("af", name, false);
  } else {
    return Download(*tool, version, record);
  }
  return TextReply(200, body);
}

SimReply UpdateServer::Download(const ToolEntry& tool, const std::string& version,
                                LogRecord& record) {
  std::string path = catalogue_.PackagePath(version);
  if (path.empty() && tool.software) {
    const SoftwareOffer& offer = *tool.software;
    bool served = false;
    if (offer.from.empty()) {
      served = !version.empty() && CompareVersions(version, offer.version) <= 0;
    } else {
      for (const std::string& f : offer.from) served = served || f == version;
    }
    if (served) path = catalogue_.FilePath(offer.package);
  }
  if (path.empty()) return ErrorReply(404, "unknown package");
  return Package(path, record);
}

SimReply UpdateServer::Package(const std::string& path, LogRecord& record) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return ErrorReply(500, "package unreadable");
  SimReply reply;
  reply.body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  reply.contentType = "application/zip";
  reply.isPackage = true;
  reply.pauseMs = faults_.slowMs;
  reply.pieceSize = faults_.slowPiece;
  std::string delivery;
  if (faults_.chunked) {
    reply.chunked = true;
    delivery = "chunked";
  } else if (faults_.truncateAt && *faults_.truncateAt < reply.body.size()) {
    reply.truncateAt = faults_.truncateAt;
    delivery = "truncated at " + std::to_string(*faults_.truncateAt);
  } else {
    delivery = "content-length";
  }
  if (faults_.slowMs > 0) delivery += ", slow";
  record.delivery = delivery;
  const size_t slash = path.find_last_of('/');
  record.package = slash == std::string::npos ? path : path.substr(slash + 1);
  record.bytes = reply.body.size();
  return reply;
}

}  // namespace velmar::serversim
