#include "server/ServerRequest.h"

#include "server/DatabaseList.h"
#include "server/FormEncoding.h"
#include "server/OptionList.h"
#include "server/OthersList.h"
#include "server/VersionInfo.h"

#include <utility>

namespace velmar {

ServerRequest::ServerRequest(HttpClient& http, VersionInfo& redirect_record, ServerAddress server)
    : http_(http), redirect_record_(redirect_record), server_(std::move(server)) {
  http_.SetPort(server_.port);
}

void ServerRequest::SetIdentity(const char* serial, const char* version) {
  if (serial != nullptr) serial_ = serial;
  if (version != nullptr) version_ = version;
  tool_ = kProductCode;
}

void ServerRequest::BuildQuery(const char* action, const char* option) {
  query_ = "s=" + EncodeFormValue(serial_) + "&v=" + EncodeFormValue(version_) +
           "&a=" + EncodeFormValue(action != nullptr ? action : "") +
           "&tool=" + EncodeFormValue(tool_) + "&usr=" + EncodeFormValue(user_);
  if (option != nullptr) query_ += "&opt=" + EncodeFormValue(option);
}

void ServerRequest::BuildStatusQuery(std::string_view file, std::string_view status) {
  query_ = "s=" + EncodeFormValue(serial_) + "&v=" + EncodeFormValue(version_) +
           "&tool=" + EncodeFormValue(tool_) + "&f=" + EncodeFormValue(file) +
           "&status=" + EncodeFormValue(status);
}

int ServerRequest::RedirectStep(const char* action, const char* option) {
  reply_.clear();
  BuildQuery(action, option);
  if (http_.Post(server_.host, kRedirectPath, query_, reply_, true) != 0) return -1;
  redirect_record_.ReadRedirect(reply_);
  return 0;
}

int ServerRequest::ActionStep(const char* action, bool read_text, const char* option) {
  reply_.clear();
  BuildQuery(action, option);
  // Copied: a version reply read into the redirect record replaces "lien".
  std::string address = redirect_record_.Lien();
  return http_.PostToUrl(address, query_, reply_, read_text);
}

int ServerRequest::StatusStep(std::string_view file, std::string_view status) {
  reply_.clear();
  BuildStatusQuery(file, status);
  std::string address = redirect_record_.Lien();
  return http_.PostToUrl(address, query_, reply_, true);
}

int ServerRequest::TestVersion(VersionInfo& version) {
  if (RedirectStep(server_action::kTestVersion) != 0) return -1;
  if (ActionStep(server_action::kTestVersion, true) != 0) return -1;
  version.ReadVersion(reply_);
  return 0;
}

int ServerRequest::ListOptions(OptionList& options) {
  if (RedirectStep(server_action::kListOptions) != 0) return -1;
  if (ActionStep(server_action::kListOptions, true) != 0) return -1;
  options.Read(reply_);
  return 0;
}

int ServerRequest::ListDatabases(DatabaseList& databases) {
  if (RedirectStep(server_action::kListDatabases) != 0) return -1;
  if (ActionStep(server_action::kListDatabases, true) != 0) return -1;
  databases.Read(reply_);
  return 0;
}

int ServerRequest::ListOthers(OthersList& others) {
  if (RedirectStep(server_action::kListOthers) != 0) return -1;
  if (ActionStep(server_action::kListOthers, true) != 0) return -1;
  others.Read(reply_);
  return 0;
}

int ServerRequest::DownloadVersion(bool device_package) {
  const char* option = device_package ? kForceOption : nullptr;
  if (RedirectStep(server_action::kDownloadVersion, option) != 0) return -1;
  return ActionStep(server_action::kDownloadVersion, false, option);
}

int ServerRequest::SetStatus(std::string_view file, std::string_view status) {
  if (RedirectStep(server_action::kSetStatus) != 0) return -1;
  return StatusStep(file, status);
}

int ServerRequest::SetStatus(const StatusReport& report) {
  // Both requests carry the report's own identity; the current one comes back afterwards.
  std::string serial = report.serial, version = report.version, tool = report.tool;
  std::swap(serial_, serial);
  std::swap(version_, version);
  std::swap(tool_, tool);
  const int result = SetStatus(report.file, report.status);
  std::swap(serial_, serial);
  std::swap(version_, version);
  std::swap(tool_, tool);
  return result;
}

StatusReport ServerRequest::StatusFields(std::string_view file, std::string_view status) const {
  return StatusReport{serial_, version_, tool_, std::string(file), std::string(status)};
}

}  // namespace velmar
