// bootsim: pseudo-terminal set-up, the serve loop, the packet handler and
// line pacing.
#include "bootsim.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "packet.h"

namespace {

constexpr int kPollMs = 20;  // how often serve() looks at the stop flag
constexpr uint8_t kCmdFinish = 0xD2;

uint64_t nowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

void sleepUntilNs(uint64_t t) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(t / 1000000000ull);
  ts.tv_nsec = static_cast<long>(t % 1000000000ull);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

}  // namespace

BootSim::BootSim(BootSimOptions options) : opt_(std::move(options)) {}

BootSim::~BootSim() {
  stop();
  if (slaveHold_ >= 0) ::close(slaveHold_);
  if (master_ >= 0) ::close(master_);
}

bool BootSim::open() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    std::fprintf(stderr, "bootsim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
    return false;
  }
  const char* name = ptsname(master_);
  if (!name) return false;
  slavePath_ = name;
  slaveHold_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slaveHold_ < 0) {
    std::fprintf(stderr, "bootsim: cannot open %s: %s\n", name, std::strerror(errno));
    return false;
  }
  // Raw until the client sets its own mode: no echo, no line editing.
  termios tio{};
  tcgetattr(slaveHold_, &tio);
  cfmakeraw(&tio);
  tcsetattr(slaveHold_, TCSANOW, &tio);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  return true;
}

void BootSim::serve() {
  uint8_t buf[4096];
  while (!stop_) {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) continue;
    if (opt_.baud) {
      const uint64_t byteNs = 10ull * 1000000000ull / opt_.baud;
      const uint64_t t = nowNs();
      rxLineFreeNs_ = (rxLineFreeNs_ > t ? rxLineFreeNs_ : t) + static_cast<uint64_t>(n) * byteNs;
    }
    for (ssize_t i = 0; i < n && !stop_; ++i) handleByte(buf[i]);
  }
}

void BootSim::start() {
  stop_ = false;
  thread_ = std::thread([this] { serve(); });
}

void BootSim::stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

BootSimReport BootSim::report() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return report_;
}

void BootSim::handleByte(uint8_t b) {
  if (pkt_.empty()) {
    if (b == kStx) {
      pkt_.push_back(b);
    } else if (b == 'T' || b == 'Q') {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++(b == 'T' ? report_.wakeT : report_.wakeQ);
      }
      if (opt_.silent) return;
      const uint8_t answer = static_cast<uint8_t>(b == 'T' ? opt_.tReply : opt_.qReply);
      if (b == 'Q') framing_ = answer == 'P' ? kFramingCrc : kFramingXor;
      waitForLine();
      writePaced(&answer, 1);
    }
    return;  // anything else between packets is line noise
  }
  pkt_.push_back(b);
  if (pkt_.size() < kPacketHeader) return;
  const size_t len = headerPayloadLength(pkt_.data());
  if (len > kMaxRecvPayload) {
    pkt_.clear();
    return;
  }
  if (pkt_.size() < packetSize(framing_, len)) return;
  std::vector<uint8_t> packet;
  packet.swap(pkt_);
  handlePacket(packet.data(), packet.size());
}

void BootSim::handlePacket(const uint8_t* packet, size_t size) {
  size_t len = 0;
  if (checkPacket(framing_, packet, size, &len) != LINK_OK) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++report_.badChecks;
    return;  // a damaged packet gets no answer; the sender times out and resends
  }
  const uint8_t command = packet[1];
  const uint8_t* payload = packet + kPacketHeader;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    report_.commands.push_back(command);
  }
  waitForLine();

  if (command == kCmdFinish) {
    std::lock_guard<std::mutex> lock(mutex_);
    report_.finished = true;
    if (opt_.verbose) std::printf("bootsim: finish\n");
    if (opt_.once) stop_ = true;
    return;
  }

  const bool block = command == 0xC0 || command == 0xB0;
  const bool complete = command == 0xC1 || command == 0xB1;
  if (block) {
    if (command != imageCommand_) {  // a new image starts
      imageCommand_ = command;
      image_.clear();
      blockNo_ = 1;
      refusedSoFar_ = 0;
      corruptDone_ = false;
      resendable_.clear();
    }
    const uint32_t declared =
        len < 5 ? 0
                : (static_cast<uint32_t>(payload[0]) << 24) | (static_cast<uint32_t>(payload[1]) << 16) |
                      (static_cast<uint32_t>(payload[2]) << 8) | payload[3];
    if (len < 5 || declared != len - 5 || declared == 0 || declared > 512 || payload[4] != 0) {
      reply(command, 1, 0, false);
      return;
    }
    const std::vector<uint8_t> data(payload + 5, payload + len);
    if (!resendable_.empty() && data == resendable_) {
      // The sender lost our reply and sent the same block again: it is kept already.
      resendable_.clear();
      reply(command, 0, 0, false);
      return;
    }
    resendable_.clear();
    if (blockNo_ == opt_.flashFaultBlock) {
      reply(command, 1, 100, false);
      return;
    }
    if (blockNo_ == opt_.refuseBlock && refusedSoFar_ < opt_.refuseTimes) {
      ++refusedSoFar_;
      reply(command, 1, 0, false);
      return;
    }
    image_.insert(image_.end(), data.begin(), data.end());
    const bool corrupt = blockNo_ == opt_.corruptBlock && !corruptDone_;
    if (corrupt) {
      corruptDone_ = true;
      resendable_ = data;
    }
    ++blockNo_;
    reply(command, 0, 0, corrupt);
    return;
  }
  if (complete) {
    const bool boot = command == 0xC1;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      (boot ? report_.bootImage : report_.appImage) = image_;
      ++(boot ? report_.bootImages : report_.appImages);
    }
    saveImage(boot ? "boot.bin" : "app.bin", image_);
    if (opt_.verbose) std::printf("bootsim: %s image %zu bytes\n", boot ? "boot" : "app", image_.size());
    std::fflush(stdout);
    imageCommand_ = 0;
    image_.clear();
    if (!opt_.noCompletionReply) reply(command, 0, 0, false);
    return;
  }
  reply(command, 1, 0, false);  // a command this loader does not know
}

void BootSim::reply(uint8_t command, uint8_t status, uint8_t detail, bool corrupt) {
  const uint8_t payload[2] = {status, detail};
  uint8_t out[16];
  const size_t n = buildPacket(framing_, command, payload, sizeof payload, out, sizeof out);
  if (n == 0) return;
  if (corrupt) out[n - 1] ^= 0x5A;
  writePaced(out, n);
}

void BootSim::waitForLine() {
  if (opt_.baud && rxLineFreeNs_ > nowNs()) sleepUntilNs(rxLineFreeNs_);
}

void BootSim::writePaced(const uint8_t* data, size_t n) {
  if (!opt_.baud) {
    size_t done = 0;
    while (done < n) {
      const ssize_t w = ::write(master_, data + done, n - done);
      if (w > 0) {
        done += static_cast<size_t>(w);
      } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
        return;
      } else {
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, kPollMs);
      }
    }
    return;
  }
  // Each byte is handed over when its last bit would have left the wire.
  const uint64_t byteNs = 10ull * 1000000000ull / opt_.baud;
  const uint64_t t = nowNs();
  uint64_t at = txLineFreeNs_ > t ? txLineFreeNs_ : t;
  for (size_t i = 0; i < n; ++i) {
    at += byteNs;
    sleepUntilNs(at);
    while (::write(master_, data + i, 1) < 0 && (errno == EAGAIN || errno == EINTR)) {
    }
  }
  txLineFreeNs_ = at;
}

void BootSim::saveImage(const char* name, const std::vector<uint8_t>& image) {
  if (opt_.outDir.empty()) return;
  const std::string path = opt_.outDir + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "bootsim: cannot write %s\n", path.c_str());
    return;
  }
  if (!image.empty()) std::fwrite(image.data(), 1, image.size(), f);
  std::fclose(f);
}
