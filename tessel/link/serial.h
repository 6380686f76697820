// The PC end of the serial cable to a terminal's boot loader.
//
// Sections: the transport interface (one per platform, swappable by tests),
// the process-wide link state, the port operations, the message-box hook.
// There is one link per process; it is used by one worker thread at a time
// and is not locked.
#ifndef TESSEL_LINK_SERIAL_H
#define TESSEL_LINK_SERIAL_H

#include <cstddef>
#include <cstdint>

// ---- Transport --------------------------------------------------------------

// Result of opening a device, so the port layer can raise the right box.
enum class SerialOpenResult {
  Ok,
  NotOpened,    // device missing or busy: no box, the caller reports it
  QueueFault,   // driver queues could not be set ("SetupComm")
  StateFault,   // line settings could not be applied ("SetCommState")
};

class SerialTransport {
 public:
  virtual ~SerialTransport() = default;
  // Raw 8N1 at `baud`, queues flushed, reads that return what is there.
  // On any failure, *sysError receives the system's error number.
  virtual SerialOpenResult open(const char* device, uint32_t baud, uint32_t* sysError) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  // Writes all bytes within 10 ms per byte plus 5000 ms, or fails.
  virtual bool write(const uint8_t* data, size_t count) = 0;
  // Waits at most waitMs for input, then takes what is there (up to count).
  // Returns the number of bytes read, 0 when none came, -1 on a read fault.
  virtual long read(uint8_t* buf, size_t count, uint32_t waitMs) = 0;
  // Clears a pending line error (break, framing, overrun) before a transfer.
  virtual void clearError() = 0;
};

// The platform's own transport (termios on POSIX, kernel32 on Windows).
SerialTransport* serialPlatformTransport();
// The platform's text for a system error number a transport reported.
void serialErrorText(uint32_t sysError, char* out, size_t outSize);
// Replaces the transport the port operations use; nullptr restores the
// platform's. Tests and fuzzers put a memory transport here.
void serialSetTransport(SerialTransport* transport);
SerialTransport* serialTransport();

// ---- Link state -------------------------------------------------------------

constexpr uint8_t kSerialPortClosed = 255;
extern uint8_t serialPortNumber;  // COM number of the open port, 255 when closed

// ---- Port operations --------------------------------------------------------

constexpr uint32_t kLinkBaud = 115200;           // every download runs at this rate
constexpr unsigned kSerialOpenAttempts = 5;      // queue and line-setting retries
constexpr unsigned kSerialRetryDelayMs = 10;
constexpr size_t kSerialMaxRead = 255;           // largest single read request

// Opens COM<portNumber> (1..255) through the COM-port map.
bool serialOpenPort(unsigned portNumber, uint32_t baud);
// Opens a device path directly (the command line's --port PATH).
bool serialOpenDevice(const char* device, uint32_t baud);
void serialClose();
bool serialIsOpen();
// Why the last open failed ("/dev/ttyS0: No such file or directory"); empty
// after a successful open.
const char* serialLastOpenError();
// First byte alone, then the rest in one write.
bool serialWrite(const uint8_t* data, size_t count);
// Reads exactly `count` bytes (at most 255) within timeoutMs, or fails.
bool serialRead(uint8_t* buf, size_t count, uint32_t timeoutMs);
// The same, telling a time-out (1) from a read fault (-1); 0 on success.
int serialReadEx(uint8_t* buf, size_t count, uint32_t timeoutMs);

// ---- Message boxes ----------------------------------------------------------

// The link raises a few modal boxes ("<CE-%u>", "Failed to receive data!").
// They are shown through this hook, called from the worker thread; the
// windows install one that hands the box to the interface thread.
using LinkBoxHook = void (*)(const char* text, const char* title);
void linkSetBoxHook(LinkBoxHook hook);
void linkShowBox(const char* text, const char* title);

// Milliseconds of a monotonic clock; the link's time limits are measured on it.
uint64_t linkNowMs();
void linkSleepMs(uint32_t ms);

#endif
