#include "server/VersionInfo.h"

#include "server/ReplyFields.h"
#include "server/TagReader.h"

namespace velmar {

void VersionInfo::Clear() {
  texte_.clear();
  lien_.clear();
  version_valid_.clear();
  new_version_.clear();
  server_msg_.clear();
  usb_.clear();
  sd_ = 0;
  rs_ = 0;
  usb_poll_ = 0;
  usb_wait_ = kDefaultUsbWait;
}

void VersionInfo::ReadRedirect(std::string_view reply) {
  texte_.clear();
  lien_.clear();
  if (reply.empty()) return;
  TagReader::ReadTag(reply, texte_, "texte");
  TagReader::ReadTag(reply, lien_, "lien");
}

void VersionInfo::ReadVersion(std::string_view reply) {
  Clear();
  if (reply.empty()) return;
  TagReader::ReadTag(reply, texte_, "texte");
  TagReader::ReadTag(reply, lien_, "lien");
  TagReader::ReadTag(reply, version_valid_, "versionValid");
  TagReader::ReadTag(reply, new_version_, "newVersion");
  TagReader::ReadTag(reply, server_msg_, "serverMsg");
  TagReader::ReadTag(reply, usb_, "usb");
  DeriveUsbSettings();

  std::string number;
  TagReader::ReadTag(reply, number, "sd");
  sd_ = number.empty() ? 0 : static_cast<uint32_t>(ParseReplyInteger(number));
  TagReader::ReadTag(reply, number, "rs");
  rs_ = number.empty() ? 0 : static_cast<uint16_t>(ParseReplyInteger(number));
}

void VersionInfo::DeriveUsbSettings() {
  // "X-15-1": the last character chooses how the update waits for the tool, the number after
  // the first dash how long.
  if (usb_.size() < 2) return;
  usb_poll_ = ParseReplyInteger(std::string_view(usb_).substr(usb_.size() - 1));
  size_t dash = usb_.find('-');
  if (dash != std::string::npos) usb_wait_ = ParseReplyInteger(std::string_view(usb_).substr(dash + 1));
}

}  // namespace velmar
