// velmar-probe.exe: looks at velmar.exe's windows from outside, as a user would, for the tests
// that run it under Wine. It reads the main window's controls, and answers the message boxes
// (Yes, or OK when there is no Yes; No for the texts given with --no) until a box with a given
// text has been answered.
//
//   velmar-probe state
//   velmar-probe answer --until TEXT [--no TEXT]... [--timeout SECONDS]
//   velmar-probe click ID
//   velmar-probe box-ok TEXT [--timeout SECONDS]
//   velmar-probe dialog-click TITLE ID [--timeout SECONDS]
//   velmar-probe dialog-press TITLE ID      clicks a check box of a dialog
//   velmar-probe dialog-set TITLE ID TEXT   types a text into a field of a dialog
//   velmar-probe end-session                sends the messages of a logoff
//   velmar-probe pixels ID                  the colours at the two top corners of a control
//   velmar-probe screenshot FILE.png [TITLE] the main window, or the dialog of that title
//                     [--banner TEXT --bar N]  taken the moment the banner shows that text and
//                                              the transfer bar stands at N or more
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/Win32Text.h"

namespace {

using velmar::Narrow;
using velmar::Widen;

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return "";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000,
                      &copied);
  text.resize(copied);
  return Narrow(text);
}

HWND Descendant(HWND parent, int id) {
  struct Search {
    int id;
    HWND found;
  } search{id, nullptr};
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (GetDlgCtrlID(child) != s->id) return TRUE;
        s->found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The top-level dialogs: velmar's main window is the one with the banner; a message box is any
// other visible one.
std::vector<HWND> Dialogs() {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        if (ClassOf(window) == L"#32770") reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

bool IsMainWindow(HWND dialog) {
  HWND banner = GetDlgItem(dialog, 1012);
  return banner && ClassOf(banner) == L"VelmarTitleBanner";
}

HWND MainWindow() {
  for (HWND dialog : Dialogs())
    if (IsMainWindow(dialog)) return dialog;
  return nullptr;
}

// The text of a message box: its static controls' texts (the icon's is empty).
std::string BoxText(HWND box) {
  std::string text;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM data) -> BOOL {
        if (ClassOf(child) == L"Static") *reinterpret_cast<std::string*>(data) += TextOf(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}

HWND OpenBox() {
  for (HWND dialog : Dialogs())
    if (!IsMainWindow(dialog) && IsWindowVisible(dialog) && (GetDlgItem(dialog, IDYES) || GetDlgItem(dialog, IDOK)))
      return dialog;
  return nullptr;
}

void Press(HWND box, int button) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = '|';
  return text;
}

int Position(HWND main, int bar) {
  DWORD_PTR position = 0;
  SendMessageTimeoutW(GetDlgItem(main, bar), 0x0408 /* PBM_GETPOS */, 0, 0, SMTO_ABORTIFHUNG, 2000, &position);
  return static_cast<int>(position);
}

int State() {
  HWND main = MainWindow();
  if (!main) {
    std::puts("window=none");
    return 1;
  }
  std::printf("window=found\nvisible=%d\ntitle=%s\n", IsWindowVisible(main) ? 1 : 0, TextOf(main).c_str());
  const struct {
    const char* name;
    int id;
  } kTexts[] = {{"banner", 1012}, {"caption", 1096}, {"serial", 1003}, {"software", 1004}, {"available", 1006},
                {"portmode", 1024}, {"link", 1018}, {"hide", 1}, {"update", 1017}, {"options", 1097},
                {"exit", 2}};
  for (const auto& t : kTexts) std::printf("%s=%s\n", t.name, OneLine(TextOf(GetDlgItem(main, t.id))).c_str());
  for (const auto& t : {std::pair{"update_enabled", 1017}, std::pair{"print_enabled", 1025},
                        std::pair{"settings_enabled", 1023}, std::pair{"exit_enabled", 2},
                        std::pair{"options_enabled", 1097}})
    std::printf("%s=%d\n", t.first, IsWindowEnabled(GetDlgItem(main, t.second)) ? 1 : 0);
  std::printf("download_bar=%d\ntransfer_bar=%d\n", Position(main, 1000), Position(main, 1001));
  std::printf("log=%s\n", OneLine(TextOf(Descendant(main, 1056))).c_str());
  DWORD_PTR tabs = 0, rows = 0;
  SendMessageTimeoutW(GetDlgItem(main, 1054), 0x1304 /* TCM_GETITEMCOUNT */, 0, 0, SMTO_ABORTIFHUNG, 2000, &tabs);
  SendMessageTimeoutW(GetDlgItem(main, 1107), 0x1004 /* LVM_GETITEMCOUNT */, 0, 0, SMTO_ABORTIFHUNG, 2000, &rows);
  std::printf("tabs=%d\nhistory_rows=%d\n", static_cast<int>(tabs), static_cast<int>(rows));
  // The user's Run key, where "Start Velmar at login" is kept.
  wchar_t command[1024] = {};
  DWORD size = sizeof command;
  const bool set = RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"Velmar",
                                RRF_RT_REG_SZ, nullptr, command, &size) == ERROR_SUCCESS;
  std::printf("login_start=%d\nrun_command=%s\n", set ? 1 : 0, set ? Narrow(command).c_str() : "");
  return 0;
}

// Answers every box until one holding `until` has been answered; meanwhile watches the transfer
// bar and the banner, and reports what it saw.
int Answer(const std::string& until, const std::vector<std::string>& no, int timeout_s) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_s) * 1000;
  std::set<int> transfer_positions;
  std::set<std::string> banner_texts;
  int banner_changes = 0;
  std::string last_banner;
  HWND last_box = nullptr;
  while (GetTickCount64() < deadline) {
    if (HWND main = MainWindow()) {
      transfer_positions.insert(Position(main, 1001));
      const std::string banner = TextOf(GetDlgItem(main, 1012));
      if (banner != last_banner) ++banner_changes;
      last_banner = banner;
      banner_texts.insert(banner);
    }
    HWND box = OpenBox();
    if (box && box != last_box) {
      const std::string text = BoxText(box);
      bool refuse = false;
      for (const std::string& n : no) refuse |= text.find(n) != std::string::npos;
      const int button = GetDlgItem(box, IDYES) ? (refuse ? IDNO : IDYES) : IDOK;
      std::printf("box: %s -> %s\n", OneLine(text).c_str(), button == IDYES ? "Yes" : button == IDNO ? "No" : "OK");
      std::fflush(stdout);
      Press(box, button);
      last_box = box;
      if (text.find(until) != std::string::npos) {
        std::printf("transfer_positions=%zu\nbanner_changes=%d\n", transfer_positions.size(), banner_changes);
        for (const std::string& b : banner_texts) std::printf("banner: %s\n", b.c_str());
        return 0;
      }
    } else if (!box) {
      last_box = nullptr;
    }
    Sleep(50);
  }
  std::puts("timeout");
  return 1;
}

int BoxOk(const std::string& text, int timeout_s) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_s) * 1000;
  while (GetTickCount64() < deadline) {
    for (HWND dialog : Dialogs()) {
      if (IsMainWindow(dialog) || !IsWindowVisible(dialog) || !GetDlgItem(dialog, IDOK)) continue;
      const std::string shown = BoxText(dialog);
      if (shown.find(text) == std::string::npos) continue;
      std::printf("box: %s\n", OneLine(shown).c_str());
      Press(dialog, IDOK);
      return 0;
    }
    Sleep(50);
  }
  std::puts("timeout");
  return 1;
}

// A visible top-level dialog of that title, waited for.
HWND DialogTitled(const std::string& title, int timeout_s) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_s) * 1000;
  do {
    for (HWND dialog : Dialogs())
      if (IsWindowVisible(dialog) && TextOf(dialog) == title) return dialog;
    Sleep(50);
  } while (GetTickCount64() < deadline);
  return nullptr;
}

std::string Hex(COLORREF colour) {
  char text[8];
  std::snprintf(text, sizeof(text), "%02X%02X%02X", GetRValue(colour), GetGValue(colour), GetBValue(colour));
  return text;
}

// Read from the screen, as the user sees it: the two top corners, clear of the centred text.
int Pixels(int id) {
  HWND main = MainWindow();
  HWND control = main ? GetDlgItem(main, id) : nullptr;
  if (!control) return 1;
  RECT area;
  GetWindowRect(control, &area);
  HDC screen = GetDC(nullptr);
  std::printf("left=%s\nright=%s\n", Hex(GetPixel(screen, area.left + 1, area.top + 1)).c_str(),
              Hex(GetPixel(screen, area.right - 2, area.top + 1)).c_str());
  ReleaseDC(nullptr, screen);
  return 0;
}

void Chunk(std::string& png, const char* type, const std::string& data) {
  auto be32 = [&png](uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<char>((v >> shift) & 0xff));
  };
  be32(static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  be32(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

// The window's rectangle of the screen as a PNG file.
int Screenshot(const std::string& path, HWND window, const std::string& banner, int bar, int timeout_s) {
  if (!window) return 1;
  SetForegroundWindow(window);
  Sleep(300);  // let it repaint in front
  if (!banner.empty()) {
    // A blinking text: wait for its shown phase, then give the paint a moment.
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_s) * 1000;
    while (TextOf(GetDlgItem(window, 1012)) != banner || Position(window, 1001) < bar)
      if (GetTickCount64() >= deadline) return 1;
    Sleep(15);
  }
  RECT area;
  GetWindowRect(window, &area);
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return 1;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP image = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, image);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  std::string raw;
  const auto* pixels = static_cast<const uint8_t*>(bits);
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = pixels + (static_cast<size_t>(y) * width + x) * 4;
      raw.push_back(static_cast<char>(p[2]));
      raw.push_back(static_cast<char>(p[1]));
      raw.push_back(static_cast<char>(p[0]));
    }
  }
  SelectObject(memory, old);
  DeleteObject(image);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size, reinterpret_cast<const Bytef*>(raw.data()),
            static_cast<uLong>(raw.size()), 9);
  packed.resize(packed_size);
  std::string header;
  for (uint32_t v : {static_cast<uint32_t>(width), static_cast<uint32_t>(height)})
    for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<char>((v >> shift) & 0xff));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
  std::string png = "\x89PNG\r\n\x1a\n";
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", "");
  FILE* file = _wfopen(Widen(path).c_str(), L"wb");
  if (!file) return 1;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // plain "\n" line ends for the Linux test
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i]));
  if (args.empty()) return 2;
  int timeout_s = 60;
  std::string until, banner;
  int bar = 0;
  std::vector<std::string> no;
  for (size_t i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == "--timeout") timeout_s = std::atoi(args[++i].c_str());
    else if (args[i] == "--until") until = args[++i];
    else if (args[i] == "--banner") banner = args[++i];
    else if (args[i] == "--bar") bar = std::atoi(args[++i].c_str());
    else if (args[i] == "--no") no.push_back(args[++i]);
  }
  if (args[0] == "state") return State();
  if (args[0] == "answer" && !until.empty()) return Answer(until, no, timeout_s);
  if (args[0] == "click" && args.size() >= 2) {
    HWND main = MainWindow();
    if (!main) return 1;
    const int id = std::atoi(args[1].c_str());
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(main, id)));
    return 0;
  }
  if (args[0] == "end-session") {
    // What Windows sends every top-level window at a logoff.
    HWND main = MainWindow();
    DWORD_PTR allowed = 0, ignored = 0;
    if (!main || !SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000,
                                      &allowed))
      return 1;
    SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &ignored);
    return allowed ? 0 : 3;
  }
  if (args[0] == "box-ok" && args.size() >= 2) return BoxOk(args[1], timeout_s);
  if (args[0] == "dialog-click" && args.size() >= 3) {
    HWND dialog = DialogTitled(args[1], timeout_s);
    if (!dialog) return 1;
    const int id = std::atoi(args[2].c_str());
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    return 0;
  }
  if (args[0] == "dialog-press" && args.size() >= 3) {
    // A click on a check box: it changes its state, then tells the dialog.
    HWND dialog = DialogTitled(args[1], timeout_s);
    HWND button = dialog ? GetDlgItem(dialog, std::atoi(args[2].c_str())) : nullptr;
    return button && PostMessageW(button, BM_CLICK, 0, 0) ? 0 : 1;
  }
  if (args[0] == "dialog-set" && args.size() >= 4) {
    HWND dialog = DialogTitled(args[1], timeout_s);
    HWND field = dialog ? GetDlgItem(dialog, std::atoi(args[2].c_str())) : nullptr;
    const std::wstring text = Widen(args[3]);
    DWORD_PTR ignored = 0;
    return field && SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                        SMTO_ABORTIFHUNG, 2000, &ignored)
               ? 0
               : 1;
  }
  if (args[0] == "pixels" && args.size() >= 2) return Pixels(std::atoi(args[1].c_str()));
  if (args[0] == "screenshot" && args.size() >= 2)
    return Screenshot(args[1], args.size() >= 3 && args[2].rfind("--", 0) != 0 ? DialogTitled(args[2], timeout_s)
                                                                              : MainWindow(),
                      banner, bar, timeout_s);
  return 2;
}
