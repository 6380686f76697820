// bootsim: pseudo-terminal set-up, the serve loop, the opcode table and its
// handlers, image files, and line pacing.
#include "bootsim.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kPollMs = 20;             // how often serve() looks at the stop flag
constexpr uint8_t kStatusOk = 0;
constexpr uint8_t kStatusRefused = 1;
constexpr uint8_t kDetailFlashFault = 100;  // reply byte 1 of a failed flash write
constexpr size_t kBlockHeader = 5;      // 32-bit block length, then one zero byte
constexpr uint32_t kMaxBlockData = 512;

constexpr const char* kImageFiles[2] = {"boot.bin", "app.bin"};

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

// ---- The opcode table -------------------------------------------------------

struct BootSim::Opcode {
  uint8_t command;
  const char* name;
  void (BootSim::*handle)(const Opcode&, const uint8_t* payload, size_t len);
  int image;  // index into kImageFiles; -1 for commands without an image
};

const BootSim::Opcode BootSim::kOpcodes[] = {
    {0xC0, "boot block", &BootSim::onBlock, 0},
    {0xC1, "boot complete", &BootSim::onComplete, 0},
    {0xB0, "app block", &BootSim::onBlock, 1},
    {0xB1, "app complete", &BootSim::onComplete, 1},
    {0xD2, "finish", &BootSim::onFinish, -1},
};

// ---- Set-up and serving -----------------------------------------------------

BootSim::BootSim(BootSimOptions options) : opt_(std::move(options)) {
  reader_.framing = opt_.qReply == 'P' ? bootwire::Framing::Crc32 : bootwire::Framing::Xor;
}

BootSim::~BootSim() {
  stop();
  dropImageFile();
  if (slaveHold_ >= 0) ::close(slaveHold_);
  if (master_ >= 0) ::close(master_);
}

bool BootSim::prepareOutDir(const std::string& dir, std::string* why) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (dir.empty()) {
    *why = "empty folder name";
    return false;
  }
  fs::create_directories(dir, ec);
  if (ec) {
    *why = ec.message();
    return false;
  }
  if (!fs::is_directory(dir, ec)) {
    *why = "not a folder";
    return false;
  }
  if (::access(dir.c_str(), W_OK | X_OK) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  return true;
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
    receive(buf, static_cast<size_t>(n));
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

void BootSim::receive(const uint8_t* data, size_t n) {
  for (size_t i = 0; i < n && !stop_; ++i) handleByte(data[i]);
}

// ---- Bytes and packets ------------------------------------------------------

void BootSim::handleByte(uint8_t b) {
  using R = bootwire::PacketReader::Result;
  switch (reader_.push(b)) {
    case R::Partial:
    case R::TooLong:  // the header was noise; hunt for the next STX
      return;
    case R::BadCheck: {
      std::lock_guard<std::mutex> lock(mutex_);
      ++report_.badChecks;
      return;  // a damaged packet gets no answer; the sender times out and resends
    }
    case R::Packet:
      handlePacket(reader_.command(), reader_.payload(), reader_.payloadSize());
      return;
    case R::Outside:
      break;
  }
  if (b != 'T' && b != 'Q') return;  // anything else between packets is line noise
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++(b == 'T' ? report_.wakeT : report_.wakeQ);
  }
  if (opt_.silent || vanished_ || (b == 'Q' && opt_.silentToQ)) return;
  const uint8_t answer = static_cast<uint8_t>(b == 'T' ? opt_.tReply : opt_.qReply);
  if (b == 'Q') reader_.framing = answer == 'P' ? bootwire::Framing::Crc32 : bootwire::Framing::Xor;
  waitForLine();
  writePaced(&answer, 1);
}

void BootSim::handlePacket(uint8_t command, const uint8_t* payload, size_t len) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    report_.commands.push_back(command);
  }
  if (vanished_) return;
  waitForLine();
  for (const Opcode& op : kOpcodes) {
    if (op.command == command) {
      (this->*op.handle)(op, payload, len);
      return;
    }
  }
  reply(command, kStatusRefused, 0, false);  // a command this loader does not know
}

void BootSim::startImage(uint8_t command) {
  dropImageFile();
  imageCommand_ = command;
  image_.clear();
  blockNo_ = 1;
  refusedSoFar_ = 0;
  corruptDone_ = false;
  writeFailed_ = false;
  resendable_.clear();
}

void BootSim::onBlock(const Opcode& op, const uint8_t* payload, size_t len) {
  if (op.command != imageCommand_) startImage(op.command);
  const uint32_t declared =
      len < kBlockHeader ? 0
                         : (uint32_t{payload[0]} << 24) | (uint32_t{payload[1]} << 16) |
                               (uint32_t{payload[2]} << 8) | payload[3];
  if (len < kBlockHeader || declared != len - kBlockHeader || declared == 0 || declared > kMaxBlockData ||
      payload[4] != 0) {
    reply(op.command, kStatusRefused, 0, false);
    return;
  }
  const uint8_t* data = payload + kBlockHeader;
  if (!resendable_.empty() && resendable_.size() == declared &&
      std::memcmp(resendable_.data(), data, declared) == 0) {
    // The sender lost our reply and sent the same block again: it is kept already.
    resendable_.clear();
    reply(op.command, kStatusOk, 0, false);
    return;
  }
  resendable_.clear();
  if (opt_.vanishBlock && blockNo_ >= opt_.vanishBlock) {
    vanished_ = true;
    return;
  }
  if (blockNo_ == opt_.flashFaultBlock) {
    reply(op.command, kStatusRefused, kDetailFlashFault, false);
    return;
  }
  if (blockNo_ == opt_.refuseBlock && refusedSoFar_ < opt_.refuseTimes) {
    ++refusedSoFar_;
    reply(op.command, kStatusRefused, 0, false);
    return;
  }
  if (!storeBlock(op, data, declared)) {
    reply(op.command, kStatusRefused, kDetailFlashFault, false);
    return;
  }
  const bool corrupt = blockNo_ == opt_.corruptBlock && !corruptDone_;
  if (corrupt) {
    corruptDone_ = true;
    resendable_.assign(data, data + declared);
  }
  ++blockNo_;
  reply(op.command, kStatusOk, 0, corrupt);
}

void BootSim::onComplete(const Opcode& op, const uint8_t*, size_t) {
  const uint8_t block = static_cast<uint8_t>(op.command - 1);
  if (imageCommand_ != block) startImage(block);  // an empty image: no block came
  const bool saved = !writeFailed_ && closeImageFile(op);
  if (saved) {
    std::lock_guard<std::mutex> lock(mutex_);
    (op.image == 0 ? report_.bootImage : report_.appImage) = image_;
    ++(op.image == 0 ? report_.bootImages : report_.appImages);
  }
  if (opt_.verbose) {
    std::printf("bootsim: %s image %zu bytes%s\n", op.image == 0 ? "boot" : "app", image_.size(),
                saved ? "" : " NOT saved");
    std::fflush(stdout);
  }
  dropImageFile();
  imageCommand_ = 0;
  image_.clear();
  if (opt_.noCompletionReply) return;
  if (saved) {
    reply(op.command, kStatusOk, 0, false);
  } else {
    reply(op.command, kStatusRefused, kDetailFlashFault, false);
  }
}

void BootSim::onFinish(const Opcode&, const uint8_t*, size_t) {
  std::lock_guard<std::mutex> lock(mutex_);
  report_.finished = true;
  if (opt_.verbose) {
    std::printf("bootsim: finish\n");
    std::fflush(stdout);
  }
  if (opt_.once) stop_ = true;
}

// ---- Image files ------------------------------------------------------------

// Keeps the block and writes it through to <outDir>/<name>.part, so a disk
// that fills up or a folder that goes away fails this block, not a later one.
bool BootSim::storeBlock(const Opcode& op, const uint8_t* data, size_t n) {
  if (writeFailed_) return false;
  if (!opt_.outDir.empty()) {
    const std::string part = opt_.outDir + "/" + kImageFiles[op.image] + ".part";
    if (!imageFile_) imageFile_ = std::fopen(part.c_str(), "wb");
    if (!imageFile_ || std::fwrite(data, 1, n, imageFile_) != n || std::fflush(imageFile_) != 0) {
      std::fprintf(stderr, "bootsim: cannot write %s: %s\n", part.c_str(), std::strerror(errno));
      writeFailed_ = true;
      std::lock_guard<std::mutex> lock(mutex_);
      ++report_.writeFaults;
      return false;
    }
  }
  image_.insert(image_.end(), data, data + n);
  return true;
}

// Finishes the image's file and gives it its name; true when there is no
// folder to write to.
bool BootSim::closeImageFile(const Opcode& op) {
  if (opt_.outDir.empty()) return true;
  const std::string path = opt_.outDir + "/" + kImageFiles[op.image];
  const std::string part = path + ".part";
  if (!imageFile_) imageFile_ = std::fopen(part.c_str(), "wb");  // an empty image
  bool ok = imageFile_ != nullptr;
  if (imageFile_) {
    ok = std::fflush(imageFile_) == 0 && ::fsync(fileno(imageFile_)) == 0;
    ok = std::fclose(imageFile_) == 0 && ok;
    imageFile_ = nullptr;
  }
  if (ok) ok = std::rename(part.c_str(), path.c_str()) == 0;
  if (!ok) {
    std::fprintf(stderr, "bootsim: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    std::lock_guard<std::mutex> lock(mutex_);
    ++report_.writeFaults;
  }
  return ok;
}

void BootSim::dropImageFile() {
  if (imageFile_) std::fclose(imageFile_);
  imageFile_ = nullptr;
}

// ---- Replies and pacing -----------------------------------------------------

void BootSim::reply(uint8_t command, uint8_t status, uint8_t detail, bool corrupt) {
  const uint8_t payload[2] = {status, detail};
  uint8_t out[16];
  const size_t n = bootwire::writePacket(reader_.framing, command, payload, sizeof payload, out, sizeof out);
  if (n == 0) return;
  if (corrupt) out[n - 1] ^= 0x5A;
  writePaced(out, n);
}

void BootSim::waitForLine() {
  if (opt_.baud && rxLineFreeNs_ > nowNs()) sleepUntilNs(rxLineFreeNs_);
}

void BootSim::writePaced(const uint8_t* data, size_t n) {
  if (master_ < 0) return;
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
  // Each byte is handed over when its last bit would have left the wire. A
  // reply starts on the line the moment the request has arrived (or the line
  // is free), not when this thread got round to it: our own wake-up delay is
  // not line time.
  const uint64_t byteNs = 10ull * 1000000000ull / opt_.baud;
  uint64_t at = std::max(txLineFreeNs_, rxLineFreeNs_);
  for (size_t i = 0; i < n; ++i) {
    at += byteNs;
    sleepUntilNs(at);
    while (::write(master_, data + i, 1) < 0 && (errno == EAGAIN || errno == EINTR)) {
    }
  }
  txLineFreeNs_ = at;
}
