// Every text of velmar.exe's windows fits its control in every language: the rectangles come
// from the compiled dialog templates, the texts from the string table, the sizes from
// GetTextExtentPoint32 and DrawText in the dialogs' font, converted as the dialog manager does.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "app/Strings.h"

#include <windows.h>
#undef FormatMessage  // the string table's, not the system's

#include "Win32Resources.h"
#include "platform/Win32Text.h"

namespace velmar {
namespace {

// Control rectangles by id, in dialog units, read from a DLGTEMPLATEEX resource.
std::map<int, RECT> ControlRects(int dialog) {
  std::map<int, RECT> rects;
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(dialog), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  if (!found) return rects;
  const auto* data = static_cast<const WORD*>(LockResource(LoadResource(nullptr, found)));
  const WORD* end = data + SizeofResource(nullptr, found) / sizeof(WORD);
  auto skip_name = [end](const WORD* at) {  // sz_Or_Ord
    if (*at == 0xFFFF) return at + 2;
    while (at < end && *at) ++at;
    return at + 1;
  };
  const WORD* at = data + 6;  // after the version, signature, help id and extended style
  const DWORD style = *reinterpret_cast<const DWORD*>(at);
  at += 2;
  const WORD count = *at++;
  at += 4;                   // x, y, cx, cy
  at = skip_name(at);        // menu
  at = skip_name(at);        // class
  at = skip_name(at);        // title
  if (style & DS_SETFONT) at = skip_name(at + 3);  // size, weight, italic+charset, face
  for (WORD item = 0; item < count && at < end; ++item) {
    at = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(at) + 3) & ~uintptr_t{3});
    const auto* words = reinterpret_cast<const short*>(at + 6);  // after help id, ex style, style
    const int id = static_cast<int>(*reinterpret_cast<const DWORD*>(at + 10));
    rects[id] = RECT{words[0], words[1], words[0] + words[2], words[1] + words[3]};
    at = skip_name(skip_name(at + 12));  // class, title
    at = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(at + 1) + *at);
  }
  return rects;
}

enum class Kind { Label, Button, Check, Group };

struct Control {
  int dialog;
  int id;
  Kind kind;
  std::vector<int> texts;
  std::string suffix = {};  // added at run time, as the port number is
};

const Control kControls[] = {
    {IDD_MAIN, 1096, Kind::Label, {kStrSerialCaption, kStrModelSerialCaption}},
    {IDD_MAIN, IDC_SOFTWARE_CAPTION, Kind::Label, {kStrSoftwareCaption}},
    {IDD_MAIN, IDC_AVAILABLE_CAPTION, Kind::Label, {kStrAvailableCaption}},
    {IDD_MAIN, 1025, Kind::Button, {kStrPrintSensorButton}},
    {IDD_MAIN, 1024, Kind::Label, {kStrAutomaticNoAdapter}},
    {IDD_MAIN, 1024, Kind::Label, {kStrAutomaticMode, kStrUserMode}, " (COM12)"},
    {IDD_MAIN, 1023, Kind::Button, {kStrSettingsButton}},
    {IDD_MAIN, IDC_WEB_CAPTION, Kind::Label, {kStrWebCaption}},
    {IDD_MAIN, IDOK, Kind::Button, {kStrHideButton}},
    {IDD_MAIN, 1017, Kind::Button, {kStrUpdateButton}},
    {IDD_MAIN, IDCANCEL, Kind::Button, {kStrExitButton}},
    {IDD_SETTINGS, 1026, Kind::Check, {kStrAutoDetectBox}},
    {IDD_SETTINGS, IDC_AUTO_HINT, Kind::Label, {kStrAutoDetectHint}},
    {IDD_SETTINGS, 1028, Kind::Label, {kStrSelectPort}},
    {IDD_SETTINGS, 1027, Kind::Button, {kStrTestConnection}},
    {IDD_SETTINGS, IDC_PROGRAM_GROUP, Kind::Group, {kStrProgramGroup}},
    {IDD_SETTINGS, 1049, Kind::Check, {kStrEnableUpgrade}},
    {IDD_SETTINGS, IDC_RESET_GROUP, Kind::Group, {kStrResetGroup}},
    {IDD_SETTINGS, 1099, Kind::Label, {kStrResetCaption}},
    {IDD_SETTINGS, 1097, Kind::Button, {kStrFactoryResetButton}},
    {IDD_SETTINGS, IDOK, Kind::Button, {kStrApplyButton}},
    {IDD_SETTINGS, IDCANCEL, Kind::Button, {kStrCancelButton}},
    {IDD_PROXY_LOGIN, IDC_PROXY_PROMPT, Kind::Label, {kStrProxyPrompt}},
    {IDD_PROXY_LOGIN, IDC_LOGIN_CAPTION, Kind::Label, {kStrLoginLabel}},
    {IDD_PROXY_LOGIN, IDC_PASSWORD_CAPTION, Kind::Label, {kStrPasswordLabel}},
    {IDD_PROXY_LOGIN, IDOK, Kind::Button, {kStrOkButton}},
    {IDD_PROXY_LOGIN, IDCANCEL, Kind::Button, {kStrCancelButton}},
    {IDD_ABOUT, IDC_ABOUT_TEXT, Kind::Label, {kStrWindowTitle}},
    {IDD_BOOT_MODE, IDC_BOOT_STEPS, Kind::Label, {kStrBootModeSteps}},
    {IDD_BOOT_MODE, IDC_BOOT_SCREEN, Kind::Label, {kStrBootModeScreen}},
};

TEST(TextFit, EveryTextFitsItsControlInEveryLanguage) {
  HDC dc = CreateCompatibleDC(nullptr);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  HFONT font = CreateFontW(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                           0, L"MS Shell Dlg 2");
  SelectObject(dc, font);
  // The dialog manager's base units of the font.
  SIZE letters{};
  GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  const int base_x = (letters.cx / 26 + 1) / 2, base_y = metrics.tmHeight;

  std::map<int, std::map<int, RECT>> templates;
  for (Language language :
       {Language::English, Language::German, Language::French, Language::Japanese, Language::Dutch}) {
    SetLanguage(language);
    for (const Control& control : kControls) {
      if (!templates.count(control.dialog)) templates[control.dialog] = ControlRects(control.dialog);
      ASSERT_TRUE(templates[control.dialog].count(control.id)) << "control " << control.id;
      const RECT units = templates[control.dialog][control.id];
      const int width = MulDiv(units.right - units.left, base_x, 4);
      const int height = MulDiv(units.bottom - units.top, base_y, 8);
      for (int text_id : control.texts) {
        const std::string text = FormatMessage(text_id, "47-3306") + control.suffix;
        const std::wstring wide = Widen(text);
        RECT needed{0, 0, width, 0};
        const UINT flags = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS |
                           (control.kind == Kind::Label ? DT_WORDBREAK : DT_SINGLELINE);
        DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &needed, flags);
        const int margin = control.kind == Kind::Button ? 6 : control.kind == Kind::Label ? 0 : 18;
        EXPECT_LE(needed.right + margin, width)
            << "language " << static_cast<int>(language) << ", control " << control.id << ": \"" << text << "\"";
        if (control.kind == Kind::Label) {
          EXPECT_LE(needed.bottom, height)
              << "language " << static_cast<int>(language) << ", control " << control.id << ": \"" << text << "\"";
        }
      }
    }
  }
  SetLanguage(Language::English);
  DeleteDC(dc);
  DeleteObject(font);
}

}  // namespace
}  // namespace velmar
