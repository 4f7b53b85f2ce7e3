#pragma once
#include <string>
#include <string_view>

#include "server/HttpClient.h"
#include "server/ServerAddress.h"
#include "server/StatusReport.h"

namespace velmar {

class DatabaseList;
class OptionList;
class OthersList;
class VersionInfo;

// The path of the redirect script on the update server's host (REDIRECT_PATH).
inline constexpr const char* kRedirectPath = "/download/redirect.php";
// The product code sent as "tool" (and as "v" when the program checks for itself).
inline constexpr const char* kProductCode = "QL7-12";

// The action names of the update server.
namespace server_action {
inline constexpr const char* kTestVersion = "test_version";
inline constexpr const char* kListOptions = "list_options";
inline constexpr const char* kListDatabases = "list_dbs";
inline constexpr const char* kListOthers = "list_oth";
inline constexpr const char* kDownloadVersion = "download_version";
inline constexpr const char* kSetStatus = "setstatus";
}  // namespace server_action

// The option of the package downloads of a device update.
inline constexpr const char* kForceOption = "force";

// One side of the conversation with the update server: the identity sent with every request,
// the form body and reply text of the current request, and the two requests of each action
// (the redirect script names, in "lien", the address that serves the action). Results are 0
// and -1; after a failure the client's ProxyLoginWanted() tells a proxy's demand from the rest.
class ServerRequest {
 public:
  // redirect_record receives "texte" and "lien" of every redirect reply.
  ServerRequest(HttpClient& http, VersionInfo& redirect_record, ServerAddress server);

  // serial and version when given (not null); tool is reset to the product code either way.
  void SetIdentity(const char* serial, const char* version);

  // The common body "s=..&v=..&a=..&tool=..&usr=" (with "&opt=.." when option is not null).
  // Every value is percent-encoded (see EncodeFormValue).
  void BuildQuery(const char* action, const char* option = nullptr);
  // The body of the status report "s=..&v=..&tool=..&f=..&status=.." (no "a", no "usr").
  void BuildStatusQuery(std::string_view file, std::string_view status);

  // First request of an action: the common body to the redirect script, reply read as text,
  // "texte" and "lien" kept in the redirect record.
  int RedirectStep(const char* action, const char* option = nullptr);
  // Second request: the common body again, to the address in "lien". With read_text clear the
  // reply stays open in the client for reading.
  int ActionStep(const char* action, bool read_text, const char* option = nullptr);
  // Second request of "setstatus": the status body to the address in "lien".
  int StatusStep(std::string_view file, std::string_view status);

  // Whole actions, both requests. The tagged replies fill the given record.
  int TestVersion(VersionInfo& version);
  int ListOptions(OptionList& options);
  int ListDatabases(DatabaseList& databases);
  int ListOthers(OthersList& others);
  // "download_version" with option "force" for a device package, without for the program's
  // own; on success the package waits in the client (Read, ContentLength, Close).
  int DownloadVersion(bool device_package);
  int SetStatus(std::string_view file, std::string_view status);
  // "setstatus" with the given fields in both requests, whatever the current identity is.
  int SetStatus(const StatusReport& report);
  // The report that SetStatus(file, status) sends.
  StatusReport StatusFields(std::string_view file, std::string_view status) const;

  std::string& Reply() { return reply_; }
  const std::string& Query() const { return query_; }
  const std::string& Serial() const { return serial_; }
  const std::string& Version() const { return version_; }
  const std::string& Tool() const { return tool_; }
  const std::string& User() const { return user_; }
  HttpClient& Http() { return http_; }
  const ServerAddress& Server() const { return server_; }

 private:
  HttpClient& http_;
  VersionInfo& redirect_record_;
  ServerAddress server_;
  std::string reply_;
  std::string query_;
  std::string serial_;
  std::string version_;
  std::string tool_ = kProductCode;
  std::string user_;  // always empty; the body still carries "usr="
};

}  // namespace velmar
