// Windows: the system's notices of serial ports arriving and going (the COM port device
// interface), received by a message-only window on a thread of its own.
#include <windows.h>
#include <dbt.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/PortWatch.h"

namespace velmar {

namespace {

constexpr wchar_t kWindowClass[] = L"VelmarPortWatch";
// GUID_DEVINTERFACE_COMPORT, whose header pulls in the driver kit's types.
constexpr GUID kComPortInterface = {0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

class DeviceNoticeWatch : public PortWatch {
 public:
  DeviceNoticeWatch() {
    thread_ = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> lock(mutex_);
    // The thread says at once whether it could register; the bound only guards a stuck start.
    ready_.wait_for(lock, std::chrono::seconds(5), [this] { return started_; });
  }

  ~DeviceNoticeWatch() override {
    HWND window = nullptr;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      window = window_;
    }
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);
    if (thread_.joinable()) thread_.join();
  }

  bool Active() const override {
    std::lock_guard<std::mutex> guard(mutex_);
    return active_;
  }

  bool WaitForChange(uint32_t ms) override {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return news_; })) return false;
    news_ = false;
    return true;
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<DeviceNoticeWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
      case WM_DEVICECHANGE: {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lparam);
        const bool port = header && (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE ||
                                     header->dbch_devicetype == DBT_DEVTYP_PORT);
        if (self && port && (wparam == DBT_DEVICEARRIVAL || wparam == DBT_DEVICEREMOVECOMPLETE)) self->Notify();
        return TRUE;
      }
      case WM_CLOSE:
        DestroyWindow(window);
        return 0;
      case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
      default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
  }

  void Notify() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      news_ = true;
    }
    changed_.notify_all();
  }

  void Run() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &DeviceNoticeWatch::WindowProc;
    window_class.hInstance = instance;
    window_class.lpszClassName = kWindowClass;
    RegisterClassW(&window_class);  // fails harmlessly when a second watch registers it again
    HWND window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    HDEVNOTIFY notice = nullptr;
    if (window) {
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      DEV_BROADCAST_DEVICEINTERFACE_W filter{};
      filter.dbcc_size = sizeof filter;
      filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
      filter.dbcc_classguid = kComPortInterface;
      notice = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    {
      std::lock_guard<std::mutex> guard(mutex_);
      window_ = window;
      active_ = notice != nullptr;
      started_ = true;
    }
    ready_.notify_all();
    if (!window) return;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    if (notice) UnregisterDeviceNotification(notice);
  }

  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable changed_;
  std::thread thread_;
  HWND window_ = nullptr;
  bool started_ = false;
  bool active_ = false;
  bool news_ = false;
};

}  // namespace

PortWatch& SystemPortWatch() {
  // Kept to the end of the process: its thread must not be joined while the process ends.
  static DeviceNoticeWatch* watch = new DeviceNoticeWatch;
  return *watch;
}

}  // namespace velmar
