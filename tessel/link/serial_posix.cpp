// POSIX serial transport: termios raw 8N1.
//
// How the port's time limits are expressed here: reads use VMIN=0/VTIME=0
// (a read returns at once with what is there) behind poll(), so a read that
// waits wakes on the first byte; writes are bounded by poll() on POLLOUT to
// 10 ms per byte plus 5000 ms. "Not shared" is an advisory lock plus
// TIOCEXCL, so a second open of a busy port fails at once.
#ifndef _WIN32

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "serial.h"

namespace {

constexpr uint32_t kWriteMsPerByte = 10;
constexpr uint32_t kWriteConstantMs = 5000;

speed_t speedFor(uint32_t baud) {
  switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return 0;  // 14400 and 28800 have no termios constant
  }
}

class PosixSerial final : public SerialTransport {
 public:
  ~PosixSerial() override { close(); }

  SerialOpenResult open(const char* device, uint32_t baud, uint32_t* sysError) override {
    close();
    int fd = ::open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      *sysError = static_cast<uint32_t>(errno);
      return SerialOpenResult::NotOpened;
    }
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
      // Not a terminal, or another program holds it.
      *sysError = static_cast<uint32_t>(isatty(fd) ? EBUSY : ENOTTY);
      ::close(fd);
      return SerialOpenResult::NotOpened;
    }
    ioctl(fd, TIOCEXCL);
    // The kernel's tty queues are fixed; only the flush of both remains.
    tcflush(fd, TCIOFLUSH);

    termios tio{};
    for (unsigned i = 0; i < kSerialOpenAttempts; ++i) {
      if (tcgetattr(fd, &tio) == 0) break;
      linkSleepMs(kSerialRetryDelayMs);
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = 17;
    tio.c_cc[VSTOP] = 19;
    const speed_t speed = speedFor(baud);
    if (speed != 0) {
      cfsetispeed(&tio, speed);
      cfsetospeed(&tio, speed);
    }
    bool applied = speed != 0;
    int lastError = EINVAL;
    for (unsigned i = 0; applied && i < kSerialOpenAttempts; ++i) {
      if (tcsetattr(fd, TCSANOW, &tio) == 0) {
        applied = true;
        break;
      }
      applied = i + 1 < kSerialOpenAttempts;
      lastError = errno;
      linkSleepMs(kSerialRetryDelayMs);
    }
    if (!applied) {
      *sysError = static_cast<uint32_t>(lastError);
      ::close(fd);
      return SerialOpenResult::StateFault;
    }
    // DTR and RTS raised, as a terminal's boot loader expects of a live PC.
    int bits = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &bits);
    tcflush(fd, TCIOFLUSH);
    fd_ = fd;
    return SerialOpenResult::Ok;
  }

  void close() override {
    if (fd_ >= 0) {
      // Exclusive mode outlives this descriptor while anyone else holds the
      // tty open (bootsim does); drop it so the next open is not refused.
      ioctl(fd_, TIOCNXCL);
      ::close(fd_);
      fd_ = -1;
    }
  }

  bool isOpen() const override { return fd_ >= 0; }

  bool write(const uint8_t* data, size_t count) override {
    if (fd_ < 0) return false;
    const uint64_t limit = kWriteConstantMs + static_cast<uint64_t>(kWriteMsPerByte) * count;
    const uint64_t start = linkNowMs();
    size_t done = 0;
    while (done < count) {
      const ssize_t n = ::write(fd_, data + done, count - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      const uint64_t elapsed = linkNowMs() - start;
      if (elapsed >= limit) return false;
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(limit - elapsed));
    }
    return true;
  }

  long read(uint8_t* buf, size_t count, uint32_t waitMs) override {
    if (fd_ < 0) return -1;
    for (;;) {
      const ssize_t n = ::read(fd_, buf, count);
      if (n > 0) return static_cast<long>(n);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return -1;
      if (waitMs == 0) return 0;
      pollfd p{fd_, POLLIN, 0};
      const int r = ::poll(&p, 1, static_cast<int>(waitMs));
      if (r < 0 && errno == EINTR) return 0;
      if (r <= 0) return 0;
      if (p.revents & (POLLERR | POLLNVAL)) return -1;
      waitMs = 0;  // data (or a hang-up) is there: take it without waiting again
    }
  }

  void clearError() override {
    // termios reports line errors in-band (or drops the byte, as set by
    // cfmakeraw); there is no latched error to clear.
  }

 private:
  int fd_ = -1;
};

}  // namespace

SerialTransport* serialPlatformTransport() {
  static PosixSerial transport;
  return &transport;
}

void serialErrorText(uint32_t sysError, char* out, size_t outSize) {
  std::snprintf(out, outSize, "%s", std::strerror(static_cast<int>(sysError)));
}

#endif
