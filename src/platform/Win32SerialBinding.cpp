// The Win32 binding of the serial port: \\.\COM<n> opened exclusively, the program's line
// codes in a DCB, and the time-outs handed to the driver as COMMTIMEOUTS.
#include "platform/PortPaths.h"
#include "platform/SerialBinding.h"
#include "platform/Win32Text.h"

namespace velmar {

namespace {

class Win32SerialChannel : public SerialChannel {
 public:
  explicit Win32SerialChannel(HANDLE handle) : handle_(handle) {}
  ~Win32SerialChannel() override { CloseHandle(handle_); }

  bool ApplyLineSettings(const LineSettings& settings) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) return false;
    dcb.BaudRate = settings.baud_rate;
    dcb.ByteSize = settings.data_bits;
    dcb.fBinary = TRUE;
    dcb.fParity = settings.parity != 0 ? TRUE : FALSE;
    switch (settings.parity) {
      case 1:
        dcb.Parity = ODDPARITY;
        break;
      case 2:
        dcb.Parity = EVENPARITY;
        break;
      case 3:
        dcb.Parity = MARKPARITY;
        break;
      case 4:
        dcb.Parity = SPACEPARITY;
        break;
      default:
        dcb.Parity = NOPARITY;
        break;
    }
    switch (settings.stop_bits) {
      case 1:
        dcb.StopBits = ONE5STOPBITS;
        break;
      case 2:
        dcb.StopBits = TWOSTOPBITS;
        break;
      default:
        dcb.StopBits = ONESTOPBIT;
        break;
    }
    // The tool's adapter switches its line driver with RTS: raised only while sending.
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    return SetCommState(handle_, &dcb) != 0;
  }

  bool ApplyTimeouts(const SerialTimeouts& timeouts) override {
    COMMTIMEOUTS driver{};
    driver.ReadIntervalTimeout = timeouts.read_interval;
    driver.ReadTotalTimeoutMultiplier = timeouts.read_total_multiplier;
    driver.ReadTotalTimeoutConstant = timeouts.read_total_constant;
    driver.WriteTotalTimeoutMultiplier = timeouts.write_total_multiplier;
    driver.WriteTotalTimeoutConstant = timeouts.write_total_constant;
    // All zero would make reads and writes wait without end; every wait has a bound.
    if (driver.ReadIntervalTimeout == 0 && driver.ReadTotalTimeoutMultiplier == 0 &&
        driver.ReadTotalTimeoutConstant == 0)
      driver.ReadIntervalTimeout = MAXDWORD;  // return at once with what has arrived
    if (driver.WriteTotalTimeoutMultiplier == 0 && driver.WriteTotalTimeoutConstant == 0)
      driver.WriteTotalTimeoutConstant = 1;  // as near to "at once" as the driver goes
    return SetCommTimeouts(handle_, &driver) != 0;
  }

  void Purge() override {
    PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
  }

  long Write(const uint8_t* data, size_t count) override {
    DWORD written = 0;
    const DWORD size = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
    if (!WriteFile(handle_, data, size, &written, nullptr)) {
      ClearError();
      return written > 0 ? static_cast<long>(written) : -1;
    }
    if (written == 0 && count > 0) return -1;  // the write time-out passed with nothing sent
    return static_cast<long>(written);
  }

  long Read(uint8_t* destination, size_t count) override {
    DWORD got = 0;
    const DWORD size = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
    if (!ReadFile(handle_, destination, size, &got, nullptr)) {
      const DWORD error = GetLastError();
      // A line error (parity, framing) stops the driver until cleared; the frame it spoiled
      // is the caller's to retry. A vanished device is a failure.
      if (error == ERROR_OPERATION_ABORTED && ClearError()) return static_cast<long>(got);
      return -1;
    }
    return static_cast<long>(got);
  }

 private:
  bool ClearError() {
    DWORD errors = 0;
    return ClearCommError(handle_, &errors, nullptr) != 0;
  }

  HANDLE handle_;
};

class Win32SerialBinding : public SerialBinding {
 public:
  std::unique_ptr<SerialChannel> Open(uint8_t port_number) override {
    const std::optional<std::string> path = ResolvePortDevice(port_number);
    if (!path) return nullptr;
    // No sharing: a port in use by any other program is refused with ERROR_ACCESS_DENIED.
    HANDLE handle = CreateFileW(Widen(*path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    if (GetFileType(handle) != FILE_TYPE_CHAR) {
      CloseHandle(handle);
      return nullptr;
    }
    return std::make_unique<Win32SerialChannel>(handle);
  }
};

}  // namespace

SerialBinding& SystemSerialBinding() {
  static Win32SerialBinding binding;
  return binding;
}

}  // namespace velmar
