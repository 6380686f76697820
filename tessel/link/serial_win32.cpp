// Win32 serial transport over the kernel32 communication calls: queues
// 8192/8192, reads that return at once, writes bounded to 10 ms per byte
// plus 5000 ms, line settings 8N1 with DTR and RTS enabled.
#ifdef _WIN32

#include <windows.h>

#include <cstdio>

#include "serial.h"

namespace {

constexpr DWORD kQueueBytes = 8192;

class Win32Serial final : public SerialTransport {
 public:
  ~Win32Serial() override { close(); }

  SerialOpenResult open(const char* device, uint32_t baud, uint32_t* sysError) override {
    close();
    HANDLE h = CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      *sysError = GetLastError();
      return SerialOpenResult::NotOpened;
    }

    bool ok = false;
    for (unsigned i = 0; i < kSerialOpenAttempts && !ok; ++i) {
      ok = SetupComm(h, kQueueBytes, kQueueBytes) != 0;
      if (!ok) Sleep(kSerialRetryDelayMs);
    }
    if (!ok) {
      *sysError = GetLastError();
      CloseHandle(h);
      return SerialOpenResult::QueueFault;
    }
    PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);

    COMMTIMEOUTS to{};
    GetCommTimeouts(h, &to);
    to.ReadIntervalTimeout = MAXDWORD;
    to.ReadTotalTimeoutMultiplier = 0;
    to.ReadTotalTimeoutConstant = 0;
    to.WriteTotalTimeoutMultiplier = 10;
    to.WriteTotalTimeoutConstant = 5000;
    SetCommTimeouts(h, &to);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    for (unsigned i = 0; i < kSerialOpenAttempts; ++i) {
      if (GetCommState(h, &dcb)) break;
      Sleep(kSerialRetryDelayMs);
    }
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    ok = false;
    for (unsigned i = 0; i < kSerialOpenAttempts && !ok; ++i) {
      ok = SetCommState(h, &dcb) != 0;
      if (!ok) Sleep(kSerialRetryDelayMs);
    }
    if (!ok) {
      *sysError = GetLastError();
      CloseHandle(h);
      return SerialOpenResult::StateFault;
    }
    GetCommState(h, &dcb);
    PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    handle_ = h;
    return SerialOpenResult::Ok;
  }

  void close() override {
    if (handle_ != INVALID_HANDLE_VALUE) {
      CloseHandle(handle_);
      handle_ = INVALID_HANDLE_VALUE;
    }
  }

  bool isOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

  bool write(const uint8_t* data, size_t count) override {
    DWORD written = 0;
    return WriteFile(handle_, data, static_cast<DWORD>(count), &written, nullptr) && written == count;
  }

  long read(uint8_t* buf, size_t count, uint32_t waitMs) override {
    // Reads return at once; the wait is the port layer's 10 ms polling.
    const DWORD start = GetTickCount();
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(handle_, buf, static_cast<DWORD>(count), &got, nullptr)) return -1;
      if (got > 0 || GetTickCount() - start >= waitMs) return static_cast<long>(got);
      Sleep(10);
      clearError();
    }
  }

  void clearError() override {
    DWORD errors = 0;
    COMSTAT stat{};
    ClearCommError(handle_, &errors, &stat);
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

SerialTransport* serialPlatformTransport() {
  static Win32Serial transport;
  return &transport;
}

void serialErrorText(uint32_t sysError, char* out, size_t outSize) {
  if (outSize == 0) return;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, sysError, 0, out,
                                 static_cast<DWORD>(outSize), nullptr);
  if (n == 0) {
    std::snprintf(out, outSize, "system error %u", static_cast<unsigned>(sysError));
    return;
  }
  // The system's texts end with a line break; the caller adds its own.
  size_t end = n < outSize ? n : outSize - 1;
  while (end > 0 && (out[end - 1] == '\r' || out[end - 1] == '\n' || out[end - 1] == ' ')) --end;
  out[end] = '\0';
}

#endif
