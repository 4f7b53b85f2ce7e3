#include "Win32View.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "HyperlinkButton.h"
#include "TitleBanner.h"
#include "UiText.h"
#include "Win32Resources.h"
#include "Win32Window.h"
#include "app/ControlIds.h"
#include "app/SettingsDialog.h"
#include "app/Strings.h"
#include "platform/Win32Text.h"

namespace velmar {

namespace {

UINT BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return MB_ICONINFORMATION;
    case MessageIcon::Warning: return MB_ICONWARNING;
    case MessageIcon::Error:
    case MessageIcon::Stop: return MB_ICONERROR;
    case MessageIcon::None: break;
  }
  return 0;
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

void SetItemText(HWND dialog, int id, int string_id) {
  SetDlgItemTextW(dialog, id, UiText(string_id).c_str());
}

// The settings dialog's controls over the dialog's logic.
INT_PTR CALLBACK SettingsProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* logic = reinterpret_cast<SettingsDialog*>(GetWindowLongPtrW(box, DWLP_USER));
  auto refresh = [box](SettingsDialog& dialog) {
    CheckDlgButton(box, 1026, dialog.AutoDetectChecked() ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(box, 1049, dialog.UpgradeChecked() ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(box, IDC_LOGIN_START, dialog.LoginStartChecked() ? BST_CHECKED : BST_UNCHECKED);
    for (int id : {1025, 1027, 1028}) EnableWindow(GetDlgItem(box, id), dialog.PortControlsEnabled());
  };
  auto end = [box](SettingsDialog& dialog) {
    if (dialog.Ended()) EndDialog(box, dialog.Applied() ? IDOK : IDCANCEL);
  };
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(box, DWLP_USER, lparam);
      logic = reinterpret_cast<SettingsDialog*>(lparam);
      SetWindowTextW(box, UiText(kStrSettingsTitle).c_str());
      SetItemText(box, 1026, kStrAutoDetectBox);
      SetItemText(box, IDC_AUTO_HINT, kStrAutoDetectHint);
      SetItemText(box, 1028, kStrSelectPort);
      SetItemText(box, 1027, kStrTestConnection);
      SetItemText(box, IDC_PROGRAM_GROUP, kStrProgramGroup);
      SetDlgItemTextW(box, 1049, Widen(logic->UpgradeCaption()).c_str());
      SetItemText(box, IDC_LOGIN_START, kStrLoginStartBox);
      ShowWindow(GetDlgItem(box, IDC_LOGIN_START), logic->LoginStartOffered() ? SW_SHOW : SW_HIDE);
      SetItemText(box, IDC_RESET_GROUP, kStrResetGroup);
      SetItemText(box, 1099, kStrResetCaption);
      SetItemText(box, 1097, kStrFactoryResetButton);
      SetItemText(box, IDOK, kStrApplyButton);
      SetItemText(box, IDCANCEL, kStrCancelButton);
      HWND list = GetDlgItem(box, 1025);
      for (const PortEntry& port : logic->Ports())
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(port.friendly_name).c_str()));
      SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(logic->SelectedIndex()), 0);
      refresh(*logic);
      return TRUE;
    }
    case WM_COMMAND:
      if (!logic) return FALSE;
      switch (LOWORD(wparam)) {
        case 1026: logic->SetAutoDetect(IsDlgButtonChecked(box, 1026) == BST_CHECKED); refresh(*logic); return TRUE;
        case 1049: logic->SetUpgradeCheck(IsDlgButtonChecked(box, 1049) == BST_CHECKED); return TRUE;
        case IDC_LOGIN_START:
          logic->SetLoginStart(IsDlgButtonChecked(box, IDC_LOGIN_START) == BST_CHECKED);
          return TRUE;
        case 1025:
          if (HIWORD(wparam) == CBN_SELCHANGE)
            logic->SelectPort(static_cast<int>(SendDlgItemMessageW(box, 1025, CB_GETCURSEL, 0, 0)));
          return TRUE;
        case 1027: {
          HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
          const ConnectionTestResult result = logic->TestConnection();
          SetCursor(previous);
          if (const int text = ConnectionTestMessage(result); text != 0)
            MessageBoxW(box, UiText(text).c_str(), UiText(kStrSettingsTitle).c_str(),
                        MB_OK | BoxIcon(ConnectionTestIcon(result)));
          return TRUE;
        }
        case 1097: logic->FactoryReset(); end(*logic); return TRUE;
        case IDOK: logic->Apply(); end(*logic); return TRUE;
        case IDCANCEL: logic->Cancel(); end(*logic); return TRUE;
        default: return FALSE;
      }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK ProxyProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(box, DWLP_USER, lparam);
      SetWindowTextW(box, UiText(kStrProxyTitle).c_str());
      SetItemText(box, IDC_PROXY_PROMPT, kStrProxyPrompt);
      SetItemText(box, IDC_LOGIN_CAPTION, kStrLoginLabel);
      SetItemText(box, IDC_PASSWORD_CAPTION, kStrPasswordLabel);
      SetItemText(box, IDOK, kStrOkButton);
      SetItemText(box, IDCANCEL, kStrCancelButton);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        auto* login = reinterpret_cast<ProxyLogin*>(GetWindowLongPtrW(box, DWLP_USER));
        login->login = Narrow(WindowText(GetDlgItem(box, 1031)));
        login->password = Narrow(WindowText(GetDlgItem(box, 1032)));
        EndDialog(box, IDOK);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        EndDialog(box, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// A key picture centred in its control, magenta drawn as transparent.
void DrawKey(const DRAWITEMSTRUCT& item) {
  const int bitmap_id = IDB_KEY_POWER + static_cast<int>(item.CtlID) - IDC_BOOT_KEY1;
  HBITMAP key = static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmap_id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!key) return;
  BITMAP info{};
  GetObjectW(key, sizeof(info), &info);
  const RECT& area = item.rcItem;
  const int side = std::min(area.right - area.left, area.bottom - area.top);
  HDC memory = CreateCompatibleDC(item.hDC);
  HGDIOBJ old = SelectObject(memory, key);
  FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
  TransparentBlt(item.hDC, area.left + (area.right - area.left - side) / 2, area.top + (area.bottom - area.top - side) / 2,
                 side, side, memory, 0, 0, info.bmWidth, info.bmHeight, RGB(255, 0, 255));
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(key);
}

INT_PTR CALLBACK BootModeProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DRAWITEM:
      DrawKey(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_INITDIALOG:
      SetWindowTextW(box, UiText(kStrBootModeTitle).c_str());
      SetItemText(box, IDC_BOOT_STEPS, kStrBootModeSteps);
      SetItemText(box, IDC_BOOT_SCREEN, kStrBootModeScreen);
      SetItemText(box, IDOK, kStrOkButton);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(box, IDOK);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

Win32View::Win32View(Win32Window& window) : window_(window) {}

Win32View::~Win32View() {
  if (notepad_) CloseHandle(notepad_);
}

void Win32View::SetText(int control, const std::string& text) {
  if (control == control::kBanner) {
    if (TitleBanner* banner = window_.Banner()) banner->SetText(Widen(text));
    return;
  }
  if (control == control::kLinkButton && window_.Link()) {
    SetWindowTextW(window_.Control(control), Widen(text).c_str());
    window_.Link()->SetUrl(text);
    window_.Link()->SetToolTip(std::string());
    window_.Link()->SizeToContent();
    return;
  }
  if (HWND item = window_.Control(control)) SetWindowTextW(item, Widen(text).c_str());
}

void Win32View::SetProgress(int control, int position) {
  if (HWND bar = window_.Control(control)) SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(std::clamp(position, 0, 100)), 0);
}

void Win32View::SetEnabled(int control, bool enabled) {
  if (HWND item = window_.Control(control)) EnableWindow(item, enabled ? TRUE : FALSE);
}

void Win32View::SetBanner(const BannerLook& look) {
  TitleBanner* banner = window_.Banner();
  if (!banner) return;
  banner->SetColours(RGB(look.start.r, look.start.g, look.start.b), RGB(look.end.r, look.end.g, look.end.b),
                     RGB(look.text_colour.r, look.text_colour.g, look.text_colour.b));
  banner->SetText(Widen(look.text));
}

void Win32View::SetStatusLog(const std::string& text) {
  HWND log = window_.Control(control::kStatusLog);
  if (!log) return;
  SetWindowTextW(log, Widen(text).c_str());
  // The newest line is the one that matters (progress lines replace themselves at the end).
  const LRESULT end = SendMessageW(log, WM_GETTEXTLENGTH, 0, 0);
  SendMessageW(log, EM_SETSEL, static_cast<WPARAM>(end), end);
  SendMessageW(log, EM_SCROLLCARET, 0, 0);
}

void Win32View::SelectFirstTab() { window_.SelectTab(0); }

void Win32View::HistoryChanged() { window_.RefreshHistory(); }

void Win32View::ShowWindow(bool visible) { window_.Show(visible); }

bool Win32View::AskYesNo(const std::string& text, MessageIcon icon) {
  const std::wstring title = UiText(kStrWindowTitle);
  return MessageBoxW(window_.Dialog(), Widen(text).c_str(), title.c_str(), MB_YESNO | BoxIcon(icon)) == IDYES;
}

void Win32View::ShowMessage(const std::string& text, MessageIcon icon) {
  const std::wstring title = UiText(kStrWindowTitle);
  MessageBoxW(window_.Dialog(), Widen(text).c_str(), title.c_str(), MB_OK | BoxIcon(icon));
}

void Win32View::ShowBootModeCaution() {
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_BOOT_MODE), window_.Dialog(), &BootModeProc, 0);
}

std::optional<ProxyLogin> Win32View::AskProxyLogin() {
  ProxyLogin login;
  if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROXY_LOGIN), window_.Dialog(), &ProxyProc,
                      reinterpret_cast<LPARAM>(&login)) != IDOK)
    return std::nullopt;
  return login;
}

void Win32View::RunSettingsDialog(SettingsDialog& dialog) {
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), window_.Dialog(), &SettingsProc,
                  reinterpret_cast<LPARAM>(&dialog));
  // The close box and a failed dialog end as Cancel does.
  if (!dialog.Ended()) dialog.Cancel();
}

void Win32View::CloseReportViewer() {
  if (!notepad_) return;
  if (WaitForSingleObject(notepad_, 0) == WAIT_TIMEOUT) TerminateProcess(notepad_, 0);
  CloseHandle(notepad_);
  notepad_ = nullptr;
}

void Win32View::ShowSensorReport(const std::string& path) {
  // One report at a time: the Notepad of the previous one is closed first.
  CloseReportViewer();
  std::wstring full(MAX_PATH * 4, L'\0');
  const std::wstring wide = Widen(path);
  const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  full.resize(length > 0 && length < full.size() ? length : 0);
  if (full.empty()) full = wide;
  std::wstring command = L"notepad.exe \"" + full + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    notepad_ = process.hProcess;
  }
}

bool Win32View::OpenAddress(const std::string& address) {
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(window_.Dialog(), L"open", Widen(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}

void Win32View::Beep() { MessageBeep(MB_ICONWARNING); }

}  // namespace velmar
