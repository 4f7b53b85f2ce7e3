// Start at login on Windows: a value of the user's Run key, as every tray program has it.
#include "platform/LoginStart.h"
#include "platform/Win32Text.h"

namespace velmar {

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kValueName[] = L"Velmar";

class RunKeyLoginStart : public LoginStart {
 public:
  bool Enabled() override {
    return RegGetValueW(HKEY_CURRENT_USER, kRunKey, kValueName, RRF_RT_REG_SZ, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
  }

  bool SetEnabled(bool enabled, const std::string& program) override {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      return false;
    }
    LSTATUS status;
    if (enabled) {
      // Any argument starts the program in the tray.
      const std::wstring command = L"\"" + Widen(program) + L"\" --tray";
      status = RegSetValueExW(key, kValueName, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(command.c_str()),
                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    } else {
      status = RegDeleteValueW(key, kValueName);
      if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
  }
};

}  // namespace

LoginStart& SystemLoginStart() {
  static RunKeyLoginStart start;
  return start;
}

}  // namespace velmar
