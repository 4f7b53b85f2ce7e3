// velmar.exe, the Windows desktop program: one instance per user, the main window (or only its
// tray icon when started with any command-line text, as the autostart entry does) until EXIT.
// The window logic before <windows.h>, whose MB_OK macro would clash with the Modbus results.
#include "app/MainWindow.h"
#include "app/Strings.h"
#include "history/HistoryStore.h"
#include "platform/Clock.h"
#include "platform/InstanceLock.h"
#include "platform/LocalFiles.h"
#include "platform/LoginStart.h"

#include <windows.h>
#include <commctrl.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cwchar>
#include <memory>
#include <string>

#include "UiText.h"
#include "Win32EventLoop.h"
#include "Win32View.h"
#include "Win32Window.h"
#include "platform/Win32Text.h"

namespace velmar {
namespace {

// The test switch VELMAR_TIME_SCALE=N (2 to 100): the window's clock, its timers and the
// workers' waits run N times faster, so that a whole update against a virtual tool takes
// seconds. Unset, or any other value, is real time.
unsigned TimeScale() {
  wchar_t value[16] = {};
  const DWORD length = GetEnvironmentVariableW(L"VELMAR_TIME_SCALE", value, 16);
  if (length == 0 || length >= 16) return 1;
  const unsigned long factor = std::wcstoul(value, nullptr, 10);
  return factor >= 2 && factor <= 100 ? static_cast<unsigned>(factor) : 1;
}

Language UserInterfaceLanguage() {
  switch (PRIMARYLANGID(GetUserDefaultUILanguage())) {
    case LANG_GERMAN: return Language::German;
    case LANG_FRENCH: return Language::French;
    case LANG_JAPANESE: return Language::Japanese;
    case LANG_DUTCH: return Language::Dutch;
    default: return Language::English;
  }
}

// The page lists the latest records; velmar-cli history has them all.
constexpr int kHistoryShown = 500;

// The program's file, for the Run key (the longest path Windows has fits).
std::string ProgramPath() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length < path.size() ? length : 0);
  return Narrow(path);
}

std::wstring DownloadsFolder() {
  PWSTR path = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, KF_FLAG_CREATE, nullptr, &path)) && path) folder = path;
  CoTaskMemFree(path);
  return folder;
}

// A new version of the program goes beside the running one when the user may write there (a
// copy unpacked from the zip), else into the user's downloads (an installed copy in Program
// Files).
std::string NewVersionFolder() {
  const std::string program = ExecutableFolder().value_or("");
  if (!program.empty() && CanCreateFilesIn(program)) return program;
  const std::wstring downloads = DownloadsFolder();
  return downloads.empty() ? program : Narrow(downloads);
}

// The settings live in the folder the program is started in, as they always have; started
// from the Start menu or at login that is the installed folder, which belongs to the system,
// so the user's application-data folder takes their place.
std::string ConfigPath() {
  if (CanCreateFilesIn(".")) return AppConfig::kFileName;
  const std::optional<std::string> data = UserDataFolder();
  if (!data) return AppConfig::kFileName;
  const std::string folder = *data + "\\Velmar";
  CreateDirectoryW(Widen(folder).c_str(), nullptr);
  return folder + "\\" + AppConfig::kFileName;
}

int Run(HINSTANCE instance, bool show_at_start) {
  SetLanguage(UserInterfaceLanguage());

  InstanceLock instance_lock;
  if (instance_lock.Acquire() == InstanceLock::Result::AlreadyRunning) {
    MessageBoxW(nullptr, UiText(kStrAlreadyRunning).c_str(), L"", MB_OK);
    return 0;
  }

  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS |
                                                      ICC_BAR_CLASSES | ICC_LINK_CLASS};
  InitCommonControlsEx(&controls);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);  // for ShellExecute

  MainWindowSetup setup;
  std::unique_ptr<ScaledClock> scaled;
  if (const unsigned factor = TimeScale(); factor > 1) {
    scaled = std::make_unique<ScaledClock>(factor);
    setup.clock = scaled.get();
  }
  setup.show_at_start = show_at_start;
  setup.login_start = &SystemLoginStart();
  setup.login_program = ProgramPath();
  setup.program_folder = NewVersionFolder();
  setup.config_path = ConfigPath();
  // Kept outside the window logic so that it outlives it.
  HistoryStore history;
  std::string history_error;
  if (history.OpenDefault(history_error)) {
    setup.history = &history;
  } else {
    setup.start_notes.push_back("The update history is not kept: " + history_error);
  }

  Win32EventLoop loop(setup.clock ? *setup.clock : SystemClock());
  MainWindow* logic = nullptr;
  std::unique_ptr<Win32View> view;
  auto command = [&logic](void (MainWindow::*action)()) {
    return [&logic, action] {
      if (logic) (logic->*action)();
    };
  };
  Win32Window window({.hide = command(&MainWindow::OnHide),
                      .update_device = command(&MainWindow::OnUpdateDevice),
                      .exit = command(&MainWindow::OnExit),
                      .settings = command(&MainWindow::OnSettings),
                      .print_sensor_info = command(&MainWindow::OnPrintSensorInfo),
                      .close_request = command(&MainWindow::OnCloseRequest),
                      .update_options_only = command(&MainWindow::OnUpdateOptionsOnly),
                      .end_session = command(&MainWindow::Terminate),
                      .open_address = [&view](const std::string& address) {
                        return view && view->OpenAddress(address);
                      }});
  if (!window.Create(instance)) return 1;
  loop.SetDialog(window.Dialog());
  window.SetHistorySource([&logic] {
    HistoryStore* store = logic ? logic->History() : nullptr;
    return store ? store->List({}, kHistoryShown) : std::vector<HistoryRecord>();
  });
  view = std::make_unique<Win32View>(window);
  {
    MainWindow program(*view, loop, std::move(setup));
    logic = &program;
    program.Initialize();
    loop.RunUntil([&program] { return program.Ended(); });
    logic = nullptr;
    window.AllowClose();
    ShowWindow(window.Dialog(), SW_HIDE);
  }  // the logic stops its workers before the loop and the window go
  CoUninitialize();
  return 0;
}

}  // namespace
}  // namespace velmar

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
  // Any command-line text at all starts the program in the tray; the text means nothing.
  const bool show_at_start = command_line == nullptr || command_line[0] == L'\0';
  return velmar::Run(instance, show_at_start);
}
