#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace velmar {

// What the server says about the tool's software: the redirect fields of every two-step
// request ("texte", "lien") and the answer to "test_version".
class VersionInfo {
 public:
  static constexpr int32_t kDefaultUsbWait = 20;

  VersionInfo() { Clear(); }

  void Clear();
  // Empties texte and lien and reads them from a redirect reply; the other fields stay.
  void ReadRedirect(std::string_view reply);
  // Clears the record and reads every field of a version reply.
  void ReadVersion(std::string_view reply);
  // True when versionValid is exactly "0": the server has a newer version for the tool.
  bool NewVersionAvailable() const { return version_valid_ == "0"; }

  const std::string& Texte() const { return texte_; }
  const std::string& Lien() const { return lien_; }
  const std::string& VersionValid() const { return version_valid_; }
  const std::string& NewVersion() const { return new_version_; }
  const std::string& ServerMsg() const { return server_msg_; }
  const std::string& Usb() const { return usb_; }
  uint32_t Sd() const { return sd_; }
  uint16_t Rs() const { return rs_; }
  int32_t UsbPoll() const { return usb_poll_; }
  int32_t UsbWait() const { return usb_wait_; }

 private:
  void DeriveUsbSettings();

  std::string texte_;
  std::string lien_;
  std::string version_valid_;
  std::string new_version_;
  std::string server_msg_;
  std::string usb_;
  uint32_t sd_ = 0;
  uint16_t rs_ = 0;
  int32_t usb_poll_ = 0;
  int32_t usb_wait_ = kDefaultUsbWait;
};

}  // namespace velmar
