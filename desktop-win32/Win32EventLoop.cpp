#include "Win32EventLoop.h"

#include <algorithm>
#include <limits>

namespace velmar {

namespace {

constexpr UINT kPosted = WM_APP + 1;
constexpr UINT kWake = WM_APP + 2;
constexpr wchar_t kClassName[] = L"VelmarEventLoop";

// The three values of a post in the two message parameters: the message in wParam, the event
// and the value side by side in lParam.
LPARAM Pack(int32_t event, int32_t value) {
  return static_cast<LPARAM>((static_cast<uint64_t>(static_cast<uint32_t>(event)) << 32) |
                             static_cast<uint32_t>(value));
}
int32_t EventOf(LPARAM packed) { return static_cast<int32_t>(static_cast<uint64_t>(packed) >> 32); }
int32_t ValueOf(LPARAM packed) { return static_cast<int32_t>(static_cast<uint64_t>(packed) & 0xffffffffu); }

}  // namespace

Win32EventLoop::Win32EventLoop(Clock& clock) : clock_(clock) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &Win32EventLoop::WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);  // fails harmlessly when a second loop registers it again
  window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            wc.hInstance, this);
}

Win32EventLoop::~Win32EventLoop() {
  handler_ = nullptr;
  if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK Win32EventLoop::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32EventLoop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self) {
    switch (message) {
      case kPosted:
        if (self->handler_)
          self->handler_->OnMessage(static_cast<uint32_t>(wparam), EventOf(lparam), ValueOf(lparam));
        return 0;
      case kWake:
        return 0;
      case WM_TIMER:
        if (self->handler_ && self->timers_.count(static_cast<int>(wparam)))
          self->handler_->OnTimer(static_cast<int>(wparam));
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void Win32EventLoop::Post(uint32_t message, int32_t event, int32_t value) {
  // PostMessage is safe from any thread and keeps the posting order of one thread.
  PostMessageW(window_, kPosted, message, Pack(event, value));
}

void Win32EventLoop::SetHandler(EventHandler* handler) { handler_ = handler; }

void Win32EventLoop::StartTimer(int timer_id, uint32_t period_ms) {
  const uint64_t real = clock_.RealMsFor(std::max<uint32_t>(period_ms, 1));
  const UINT interval = static_cast<UINT>(std::clamp<uint64_t>(real, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM));
  if (SetTimer(window_, static_cast<UINT_PTR>(timer_id), interval, nullptr) != 0) timers_.insert(timer_id);
}

void Win32EventLoop::StopTimer(int timer_id) {
  if (timers_.erase(timer_id) > 0) KillTimer(window_, static_cast<UINT_PTR>(timer_id));
}

bool Win32EventLoop::IsTimerRunning(int timer_id) const { return timers_.count(timer_id) > 0; }

void Win32EventLoop::Run() {
  RunUntil([] { return false; });
}

void Win32EventLoop::Quit() {
  quit_ = true;
  PostMessageW(window_, kWake, 0, 0);
}

void Win32EventLoop::Dispatch(const MSG& msg) {
  // The main window is a modeless dialog: its keys go through the dialog manager first.
  MSG copy = msg;
  if (dialog_ && IsWindow(dialog_) && IsDialogMessageW(dialog_, &copy)) return;
  TranslateMessage(&copy);
  DispatchMessageW(&copy);
}

void Win32EventLoop::RunUntil(const std::function<bool()>& done) {
  ++levels_;
  MSG msg;
  while (!quit_ && !done()) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // WM_QUIT (or a broken queue): give the quit back to an outer loop and end this one.
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      quit_ = true;
      break;
    }
    Dispatch(msg);
  }
  if (--levels_ == 0) quit_ = false;
}

void Win32EventLoop::DispatchPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    Dispatch(msg);
  }
}

}  // namespace velmar
