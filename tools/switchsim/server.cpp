/*
 * server.cpp - the accept loop and one thread per connection.
 *
 * A connection's thread reads frames and answers each before reading the
 * next; the Switch serialises the requests themselves, and answers (with any
 * delay a fault asks for) are sent outside that lock, so one slow or stalled
 * terminal never holds up another.
 */
#include "server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace switchsim {

namespace {

constexpr int POLL_MS = 100;
constexpr long SEND_TIMEOUT_S = 5;

using Clock = std::chrono::steady_clock;

void logLine(std::FILE *log, const char *format, const std::string &a, long b = 0) {
  if (log == nullptr) return;
  std::fprintf(log, format, a.c_str(), b);
  std::fflush(log);
}

bool sendAll(int fd, const std::uint8_t *data, std::size_t len) {
  while (len > 0) {
    ssize_t n = send(fd, data, len, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    len -= static_cast<std::size_t>(n);
  }
  return true;
}

// Sleeps ms, waking early when the server stops.
void pause(long ms, const volatile sig_atomic_t *stop) {
  auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (!*stop && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// Sends the answer as the fault says. false when the connection is to be closed.
bool deliver(int fd, const Reply &r, const volatile sig_atomic_t *stop) {
  const std::vector<std::uint8_t> &f = r.frame;
  switch (r.action) {
  case FaultAction::Close: return false;
  case FaultAction::Drop: return true;
  case FaultAction::Delay:
    pause(r.ms, stop);
    return sendAll(fd, f.data(), f.size());
  case FaultAction::Split: {
    std::size_t first = f.size() / 2;
    if (!sendAll(fd, f.data(), first)) return false;
    pause(r.ms, stop);
    return sendAll(fd, f.data() + first, f.size() - first);
  }
  case FaultAction::Garbage: {
    std::vector<std::uint8_t> g = f;
    if (g.size() > 2) randomBytes(g.data() + 2, g.size() - 2);
    return sendAll(fd, g.data(), g.size());
  }
  case FaultAction::Truncate:
    sendAll(fd, f.data(), f.size() / 2);
    return false;
  default:
    return f.empty() || sendAll(fd, f.data(), f.size());
  }
}

struct Shared {
  Switch &sw;
  const ServerOptions &options;
  const volatile sig_atomic_t *stop;
  std::atomic<int> active{0};
};

void serveConnection(Shared &shared, int fd, std::string peer) {
  std::vector<std::uint8_t> in;
  Clock::time_point lastByte = Clock::now();
  bool keep = true;
  while (keep && !*shared.stop) {
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, POLL_MS);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0) {
      long waited = static_cast<long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastByte).count());
      if (!in.empty() && waited >= shared.options.frameTimeoutMs) {
        logLine(shared.options.log, "!! %s: a frame left unfinished for %ld ms, closing\n", peer, waited);
        break;
      }
      continue;
    }
    std::uint8_t buf[4096];
    ssize_t n = recv(fd, buf, sizeof(buf), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    lastByte = Clock::now();
    in.insert(in.end(), buf, buf + n);
    while (keep && in.size() >= 2) {
      std::size_t len = static_cast<std::size_t>(in[0]) << 8 | in[1];
      if (len > MAX_FRAME) {
        logLine(shared.options.log, "!! %s: frame length %ld is too long, closing\n", peer, static_cast<long>(len));
        keep = false;
        break;
      }
      if (in.size() < len + 2) break;
      std::vector<std::uint8_t> frame(in.begin(), in.begin() + static_cast<long>(len + 2));
      in.erase(in.begin(), in.begin() + static_cast<long>(len + 2));
      keep = deliver(fd, shared.sw.handle(frame, peer), shared.stop);
    }
  }
  close(fd);
  --shared.active;
}

// What a connection's thread is started with (pthread_create rather than
// std::thread: a failure to start one is an error code, not an exception).
struct Work {
  Shared *shared;
  int fd;
  std::string peer;
};

void *connectionThread(void *arg) {
  std::unique_ptr<Work> work(static_cast<Work *>(arg));
  serveConnection(*work->shared, work->fd, work->peer);
  return nullptr;
}

std::string peerName(const sockaddr_in &peer) {
  char ip[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof(ip));
  return std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port));
}

int openReserve() { return open("/dev/null", O_RDONLY | O_CLOEXEC); }

} // namespace

void serve(Switch &sw, int listener, const ServerOptions &options, const volatile sig_atomic_t *stop) {
  Shared shared{sw, options, stop};
  // Kept to be given up when descriptors run out: with it the waiting
  // connection can be accepted and closed instead of staying readable forever.
  int reserve = openReserve();
  bool outOfDescriptors = false;
  while (!*stop) {
    pollfd p{listener, POLLIN, 0};
    int ready = poll(&p, 1, POLL_MS);
    if (ready <= 0) continue;
    sockaddr_in peer{};
    socklen_t plen = sizeof(peer);
    int fd = accept4(listener, reinterpret_cast<sockaddr *>(&peer), &plen, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EMFILE || errno == ENFILE) {
        if (!outOfDescriptors && options.log != nullptr) {
          std::fprintf(options.log, "!! out of file descriptors: refusing connections until some close\n");
          std::fflush(options.log);
        }
        outOfDescriptors = true;
        if (reserve >= 0) {
          close(reserve);
          int shed = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
          if (shed >= 0) close(shed);
          reserve = openReserve();
        }
        // Without a reserve the same connection stays pending: wait instead of spinning.
        if (reserve < 0) std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
      } else if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) {
        std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
      }
      continue;
    }
    if (reserve < 0) reserve = openReserve();
    outOfDescriptors = false;
    std::string name = peerName(peer);
    if (shared.active.load() >= options.maxConnections) {
      logLine(options.log, "!! %s: %ld connections open already, refusing this one\n", name,
              static_cast<long>(options.maxConnections));
      close(fd);
      continue;
    }
    // A terminal that never reads must not hold its thread in send() for ever.
    timeval sendLimit{SEND_TIMEOUT_S, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
    ++shared.active;
    auto *work = new Work{&shared, fd, name};
    pthread_t thread;
    int failed = pthread_create(&thread, nullptr, connectionThread, work);
    if (failed != 0) {
      logLine(options.log, "!! %s: no thread for this connection, refusing it\n",
              name + " (" + std::strerror(failed) + ")");
      delete work;
      close(fd);
      --shared.active;
    } else {
      pthread_detach(thread);
    }
  }
  if (reserve >= 0) close(reserve);
  // Each thread notices the stop within one poll interval (or one pause step).
  while (shared.active.load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

} // namespace switchsim
