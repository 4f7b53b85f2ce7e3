#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "platform/NewProgramFile.h"
#include "platform/Sha256.h"
#include "platform/Win32Text.h"

namespace velmar {

namespace {

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

// A name from the server must stay a plain file name in the chosen folder.
bool UsableName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find_first_of("/\\:*?\"<>|") != std::string::npos) return false;
  for (unsigned char c : name)
    if (c < 32) return false;
  return name.back() != '.' && name.back() != ' ';
}

}  // namespace

bool LooksExecutable(std::span<const uint8_t> bytes) {
  return bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z';
}

std::optional<SavedProgramFile> SaveNewProgramFile(const std::string& folder,
                                                   const std::string& name,
                                                   std::span<const uint8_t> bytes,
                                                   std::string* error) {
  if (!UsableName(name)) {
    Fail(error, "the file name \"" + name + "\" is not usable");
    return std::nullopt;
  }
  const std::string base = folder.empty() ? std::string() : folder + "\\";
  std::string path;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int number = 0; number <= kMaxNumberedNames && file == INVALID_HANDLE_VALUE; ++number) {
    path = base + NumberedProgramName(name, number);
    // CREATE_NEW: never an existing file, nor a link planted under the name.
    file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      Fail(error, path + ": " + ErrorText(GetLastError()));
      return std::nullopt;
    }
  }
  if (file == INVALID_HANDLE_VALUE) {
    Fail(error, "no free name for " + name + " in " + (folder.empty() ? "." : folder));
    return std::nullopt;
  }
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    ok = WriteFile(file, bytes.data() + done, piece, &written, nullptr) && written == piece;
    done += written;
  }
  if (ok) ok = FlushFileBuffers(file) != 0;
  if (!ok) Fail(error, path + ": " + ErrorText(GetLastError()));
  CloseHandle(file);
  if (!ok) {
    DeleteFileW(Widen(path).c_str());  // ours: made exclusively above
    return std::nullopt;
  }
  SavedProgramFile saved;
  saved.path = path;
  saved.executable = LooksExecutable(bytes);
  saved.sha256 = Sha256Hex(bytes);
  return saved;
}

bool StartProgram(const std::string& path, std::string* error) {
  // The shell's own way to open the file: a program runs, an installer package installs.
  const std::wstring file = Widen(path);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) return Fail(error, path + ": " + ErrorText(GetLastError()));
  if (info.hProcess) CloseHandle(info.hProcess);
  return true;
}

}  // namespace velmar
