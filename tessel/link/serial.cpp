// Port operations over the current transport: open with its boxes, the
// split write, and the polled exact-count read.
#include "serial.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "comports.h"

uint8_t serialPortNumber = kSerialPortClosed;

namespace {

SerialTransport* g_transport = nullptr;
LinkBoxHook g_boxHook = nullptr;
char g_openError[320] = "";

void noteOpenError(const char* device, uint32_t sysError) {
  char reason[192];
  serialErrorText(sysError, reason, sizeof reason);
  // The path is cut at 120 bytes so that the whole reason always fits.
  std::snprintf(g_openError, sizeof g_openError, "%.120s: %s", device, reason);
}

bool openWith(const char* device, uint32_t baud, uint8_t portNumber) {
  SerialTransport* t = serialTransport();
  if (t->isOpen()) t->close();
  uint32_t sysError = 0;
  g_openError[0] = '\0';
  const SerialOpenResult result = t->open(device, baud, &sysError);
  if (result != SerialOpenResult::Ok) noteOpenError(device, sysError);
  switch (result) {
    case SerialOpenResult::Ok:
      serialPortNumber = portNumber;
      return true;
    case SerialOpenResult::NotOpened:
      return false;
    case SerialOpenResult::QueueFault:
    case SerialOpenResult::StateFault: {
      char text[32];
      std::snprintf(text, sizeof text, "<CE-%u>", sysError);
      t->close();
      linkShowBox(text, result == SerialOpenResult::QueueFault ? "SetupComm" : "SetCommState");
      return false;
    }
  }
  return false;
}

}  // namespace

SerialTransport* serialTransport() { return g_transport ? g_transport : serialPlatformTransport(); }

void serialSetTransport(SerialTransport* transport) { g_transport = transport; }

bool serialOpenPort(unsigned portNumber, uint32_t baud) {
  char device[256];
  if (!comPortDevice(portNumber, device, sizeof device)) {
    std::snprintf(g_openError, sizeof g_openError, "COM%u: no device for this port number", portNumber);
    return false;
  }
  return openWith(device, baud, static_cast<uint8_t>(portNumber));
}

bool serialOpenDevice(const char* device, uint32_t baud) {
  // A path given directly has no COM number; 0 marks "open, unnumbered".
  return openWith(device, baud, 0);
}

void serialClose() {
  serialTransport()->close();
  serialPortNumber = kSerialPortClosed;
}

bool serialIsOpen() { return serialTransport()->isOpen(); }

const char* serialLastOpenError() { return g_openError; }

bool serialWrite(const uint8_t* data, size_t count) {
  if (count == 0) return true;
  SerialTransport* t = serialTransport();
  if (!t->write(data, 1) || (count > 1 && !t->write(data + 1, count - 1))) {
    t->clearError();
    return false;
  }
  return true;
}

bool serialRead(uint8_t* buf, size_t count, uint32_t timeoutMs) {
  return serialReadEx(buf, count, timeoutMs) == 0;
}

int serialReadEx(uint8_t* buf, size_t count, uint32_t timeoutMs) {
  if (count > kSerialMaxRead) return -1;
  SerialTransport* t = serialTransport();
  const uint64_t start = linkNowMs();
  size_t got = 0;
  t->clearError();
  while (got < count) {
    const uint64_t elapsed = linkNowMs() - start;
    // The transport's read waits in the kernel for the first byte instead of
    // sleeping between empty polls, so a byte is taken as soon as it lands.
    const uint32_t wait = elapsed < timeoutMs ? static_cast<uint32_t>(timeoutMs - elapsed) : 0;
    const long n = t->read(buf + got, count - got, wait);
    if (n < 0) {
      linkShowBox("Failed to receive data!", "ERROR");
      return -1;
    }
    if (n > 0) {
      got += static_cast<size_t>(n);
      t->clearError();
      continue;
    }
    if (linkNowMs() - start >= timeoutMs) return 1;
    t->clearError();
  }
  return 0;
}

void linkSetBoxHook(LinkBoxHook hook) { g_boxHook = hook; }

void linkShowBox(const char* text, const char* title) {
  if (g_boxHook) {
    g_boxHook(text, title);
  } else {
    std::fprintf(stderr, "%s: %s\n", title, text);
  }
}

uint64_t linkNowMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void linkSleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
