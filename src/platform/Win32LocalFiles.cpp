#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

#include <atomic>

#include "platform/LocalFiles.h"
#include "platform/Win32Text.h"

namespace velmar {

namespace {

bool WriteWhole(HANDLE handle, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(handle, bytes, chunk, &written, nullptr) || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

class Win32OutputFile : public OutputFile {
 public:
  explicit Win32OutputFile(HANDLE handle) : handle_(handle) {}
  ~Win32OutputFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  bool Write(const void* data, size_t size) override {
    return handle_ != INVALID_HANDLE_VALUE && WriteWhole(handle_, data, size);
  }
  bool Commit() override {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    bool ok = FlushFileBuffers(handle_) != 0;
    ok = (CloseHandle(handle_) != 0) && ok;
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE handle_;
};

// A name no earlier call of this process used.
std::string UniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  return std::to_string(GetCurrentProcessId()) + "." + std::to_string(GetTickCount64() % 1000000) +
         "." + std::to_string(counter++);
}

}  // namespace

std::unique_ptr<OutputFile> OutputFile::CreateExclusive(const std::string& path) {
  // No sharing: a copy another program has open is not touched, so the caller goes elsewhere.
  HANDLE handle = CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  if (!SetEndOfFile(handle)) {
    CloseHandle(handle);
    return nullptr;
  }
  return std::make_unique<Win32OutputFile>(handle);
}

bool ReplaceFileDurably(const std::string& path, const void* data, size_t size) {
  std::wstring temporary;
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = Widen(path + ".tmp." + UniqueSuffix());
    handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteWhole(handle, data, size);
  ok = (FlushFileBuffers(handle) != 0) && ok;
  ok = (CloseHandle(handle) != 0) && ok;
  if (ok && MoveFileExW(temporary.c_str(), Widen(path).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileW(temporary.c_str());
  return false;
}

static std::optional<std::string> KnownFolder(const KNOWNFOLDERID& id) {
  wchar_t* folder = nullptr;
  std::optional<std::string> result;
  if (SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &folder) == S_OK && folder)
    result = Narrow(folder);
  CoTaskMemFree(folder);
  if (result && result->empty()) result.reset();
  return result;
}

std::optional<std::string> UserDataFolder() { return KnownFolder(FOLDERID_RoamingAppData); }

std::optional<std::string> UserStateFolder() { return KnownFolder(FOLDERID_LocalAppData); }

std::optional<std::string> ExecutableFolder() {
  // Paths may be longer than MAX_PATH, up to 32767 characters: grow until the name fits.
  std::wstring path;
  for (size_t size = MAX_PATH; path.empty() && size <= 65536; size *= 2) {
    path.assign(size, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(size));
    if (length == 0) return std::nullopt;
    path.resize(length < size ? length : 0);
  }
  if (path.empty()) return std::nullopt;
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return std::nullopt;
  return Narrow(path.substr(0, slash));
}

std::string MakePrivateTemporaryFolder() {
  wchar_t base[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH) return {};
  // The temporary folder is the user's own; a folder made in it inherits that.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string folder = Narrow(base) + "velmar-cli-" + UniqueSuffix();
    if (CreateDirectoryW(Widen(folder).c_str(), nullptr)) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

bool CanCreateFilesIn(const std::string& folder) {
  // Access rights on Windows are best told by trying.
  const std::wstring probe = Widen(folder + "\\.velmar-probe-" + UniqueSuffix());
  HANDLE handle = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

std::string SerialPermissionProblem(const std::string&) { return {}; }

std::string LastSystemErrorText() { return ErrorText(GetLastError()); }

static bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

bool StandardOutputIsTerminal() { return IsConsole(STD_OUTPUT_HANDLE); }
bool StandardInputIsTerminal() { return IsConsole(STD_INPUT_HANDLE); }

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  // argv is in the ANSI code page, which cannot hold every file name; the wide command line can.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(Narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

void PrepareConsoleForUtf8() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

}  // namespace velmar
