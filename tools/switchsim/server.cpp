/*
 * server.cpp - every connection served by one event loop on epoll.
 *
 * A connection takes its next frame only after the answer to the previous one
 * went out, as a terminal expects. Each turn of the loop handles every frame
 * that arrived, commits their ledger lines in one write and one sync, and only
 * then sends the answers those lines made durable (after any delay a fault
 * asks for). Sends never block: a terminal that does not read holds up nobody
 * else, and is closed when its answer has not gone out after a while.
 *
 * One thread for all of it: with a hundred terminals on two cores, the
 * wake-ups and switches of a thread per connection (or of handing the ledger
 * to a writer thread) cost more than the requests themselves. While a sync
 * runs, new frames gather in the sockets and make the next batch.
 */
#include "server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "ledger.h"

namespace switchsim {

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

constexpr long TICK_MS = 100;          // the longest wait for events: time-outs are checked this often
constexpr long SEND_TIMEOUT_MS = 5000; // an answer not taken by the terminal in this time closes it
constexpr int MAX_EVENTS = 128;
constexpr std::uint64_t LISTENER_ID = 0;

void logLine(std::FILE *log, const char *format, const std::string &a, long b = 0) {
  if (log == nullptr) return;
  std::fprintf(log, format, a.c_str(), b);
  std::fflush(log);
}

std::string peerName(const sockaddr_in &peer) {
  char ip[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof(ip));
  return std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port));
}

int openReserve() { return open("/dev/null", O_RDONLY | O_CLOEXEC); }

long msBetween(Clock::time_point a, Clock::time_point b) {
  return static_cast<long>(std::chrono::duration_cast<Ms>(b - a).count());
}

// Where a connection's answer stands.
enum class Stage {
  Reading,   // no answer outstanding: frames are taken as they come
  Ledger,    // answer ready, its ledger lines not yet committed
  Paused,    // a delay or the pause inside a split answer
  Sending,   // answer bytes waiting for room in the socket
};

struct Conn {
  std::uint64_t id = 0;
  int fd = -1;
  std::string peer;
  std::vector<std::uint8_t> in; // received bytes not yet taken as frames
  Clock::time_point lastByte;
  Stage stage = Stage::Reading;
  Reply reply;
  std::vector<std::uint8_t> out; // answer bytes to send
  std::size_t outDone = 0;
  bool secondHalf = false;       // a split answer's second half is in out
  bool closeAfterSend = false;   // a truncated answer
  Clock::time_point until;       // end of a pause, or the send deadline
  bool readable = true;          // the socket may hold bytes not read yet (edge-triggered)
  bool peerClosed = false;       // the terminal sent its last bytes: close once they are answered
  bool hangUp = false;           // epoll saw the terminal's side close: read on to the end
};

class Loop {
public:
  Loop(Switch &sw, int listener, const ServerOptions &options, const volatile sig_atomic_t *stop)
      : sw_(sw), listener_(listener), options_(options), stop_(stop) {}
  ~Loop();
  bool init();
  void run();

private:
  Switch &sw_;
  int listener_;
  const ServerOptions &options_;
  const volatile sig_atomic_t *stop_;
  int epoll_ = -1, reserve_ = -1;
  bool outOfDescriptors_ = false;
  bool listenerPaused_ = false;
  Clock::time_point listenerBack_;
  std::uint64_t nextId_ = 1;
  std::unordered_map<std::uint64_t, std::unique_ptr<Conn>> conns_;
  std::deque<std::pair<std::uint64_t, Ledger::Ticket>> awaiting_; // in ticket order
  std::set<std::uint64_t> paused_;  // connections in a delay or a split's pause
  std::vector<std::uint64_t> ready_; // connections whose answer went out: take their next frame
  Clock::time_point lastSweep_ = Clock::now();

  void acceptAll();
  void readFrom(Conn &c);
  void takeFrames(Conn &c);
  void deliver(Conn &c);
  void startSend(Conn &c, const std::uint8_t *data, std::size_t len);
  void writeTo(Conn &c);
  void sent(Conn &c);
  void closeConn(Conn &c);
  void ledgerProgress();
  void pause(Conn &c, long ms);
  void resume(Clock::time_point now);
  void sweep(Clock::time_point now);
  int waitMs(Clock::time_point now) const;
  Conn *find(std::uint64_t id) {
    auto it = conns_.find(id);
    return it == conns_.end() ? nullptr : it->second.get();
  }
};

Loop::~Loop() {
  for (auto &[id, c] : conns_) close(c->fd);
  if (reserve_ >= 0) close(reserve_);
  if (epoll_ >= 0) close(epoll_);
}

bool Loop::init() {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  if (epoll_ < 0) return false;
  fcntl(listener_, F_SETFL, fcntl(listener_, F_GETFL) | O_NONBLOCK);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = LISTENER_ID;
  if (epoll_ctl(epoll_, EPOLL_CTL_ADD, listener_, &ev) != 0) return false;
  // Kept to be given up when descriptors run out: with it the waiting
  // connection can be accepted and closed instead of staying readable forever.
  reserve_ = openReserve();
  return true;
}

void Loop::acceptAll() {
  for (;;) {
    sockaddr_in peer{};
    socklen_t plen = sizeof(peer);
    int fd = accept4(listener_, reinterpret_cast<sockaddr *>(&peer), &plen, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EMFILE || errno == ENFILE) {
        if (!outOfDescriptors_ && options_.log != nullptr) {
          std::fprintf(options_.log, "!! out of file descriptors: refusing connections until some close\n");
          std::fflush(options_.log);
        }
        outOfDescriptors_ = true;
        if (reserve_ >= 0) {
          close(reserve_);
          int shed = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
          int shedError = errno;
          if (shed >= 0) close(shed);
          reserve_ = openReserve();
          // accept reports EMFILE before it looks for a connection: go on
          // only while there was one to shed.
          if (shed < 0 && (shedError == EAGAIN || shedError == EWOULDBLOCK)) return;
          if (reserve_ >= 0 && shed >= 0) continue;
        }
      } else if (errno == EINTR || errno == ECONNABORTED) {
        continue;
      } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
        return;
      }
      // Without a reserve the same connection stays pending: stop listening
      // for a tick instead of spinning on it.
      epoll_ctl(epoll_, EPOLL_CTL_DEL, listener_, nullptr);
      listenerPaused_ = true;
      listenerBack_ = Clock::now() + Ms(TICK_MS);
      return;
    }
    if (reserve_ < 0) reserve_ = openReserve();
    outOfDescriptors_ = false;
    std::string name = peerName(peer);
    if (conns_.size() >= static_cast<std::size_t>(options_.maxConnections)) {
      logLine(options_.log, "!! %s: %ld connections open already, refusing this one\n", name,
              static_cast<long>(options_.maxConnections));
      close(fd);
      continue;
    }
    // Answers are single small writes: send each at once.
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto c = std::make_unique<Conn>();
    c->id = nextId_++;
    c->fd = fd;
    c->peer = name;
    c->lastByte = Clock::now();
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    ev.data.u64 = c->id;
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) != 0) {
      logLine(options_.log, "!! %s: cannot watch this connection, refusing it\n", name + " (" + std::strerror(errno) + ")");
      close(fd);
      continue;
    }
    conns_.emplace(c->id, std::move(c));
  }
}

void Loop::closeConn(Conn &c) {
  close(c.fd); // leaves the epoll set with it
  paused_.erase(c.id);
  conns_.erase(c.id);
}

void Loop::pause(Conn &c, long ms) {
  c.stage = Stage::Paused;
  c.until = Clock::now() + Ms(ms);
  paused_.insert(c.id);
}

// Reads what the socket holds (up to a frame's worth beyond what is waiting,
// so a terminal that sends without reading cannot grow the buffer), then
// takes the frames. May close the connection.
void Loop::readFrom(Conn &c) {
  while (c.readable && c.in.size() <= 2 * (MAX_FRAME + 2)) {
    std::uint8_t buf[4096];
    ssize_t n = recv(c.fd, buf, sizeof(buf), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      c.readable = false;
      break;
    }
    if (n == 0) {
      c.peerClosed = true;
      c.readable = false;
      break;
    }
    if (n < 0) {
      closeConn(c);
      return;
    }
    c.lastByte = Clock::now();
    c.in.insert(c.in.end(), buf, buf + n);
    // Less than asked for: the socket is empty now, and new bytes bring a new
    // event, so the recv that would only say EAGAIN is saved.
    if (static_cast<std::size_t>(n) < sizeof(buf) && !c.hangUp) {
      c.readable = false;
      break;
    }
  }
  std::uint64_t id = c.id;
  takeFrames(c);
  // Frames sent just before the close are answered first.
  if (Conn *still = find(id); still != nullptr && still->peerClosed && still->stage == Stage::Reading) closeConn(*still);
}

void Loop::takeFrames(Conn &c) {
  std::size_t used = 0;
  while (c.stage == Stage::Reading && c.in.size() - used >= 2) {
    std::size_t len = static_cast<std::size_t>(c.in[used]) << 8 | c.in[used + 1];
    if (len > MAX_FRAME) {
      logLine(options_.log, "!! %s: frame length %ld is too long, closing\n", c.peer, static_cast<long>(len));
      closeConn(c);
      return;
    }
    if (c.in.size() - used < len + 2) break;
    std::vector<std::uint8_t> frame(c.in.begin() + static_cast<long>(used),
                                    c.in.begin() + static_cast<long>(used + len + 2));
    used += len + 2;
    c.reply = sw_.handle(frame, c.peer);
    if (c.reply.ledgerTicket != 0 && options_.ledger != nullptr) {
      c.stage = Stage::Ledger;
      awaiting_.emplace_back(c.id, c.reply.ledgerTicket);
    } else {
      std::uint64_t id = c.id;
      deliver(c);
      if (find(id) == nullptr) return; // closed by the answer's fault
    }
  }
  c.in.erase(c.in.begin(), c.in.begin() + static_cast<long>(used));
}

// Answers whose ledger lines are now durable go out; those whose lines could
// not be written never do (the terminal reverses), and their connection closes.
void Loop::ledgerProgress() {
  while (!awaiting_.empty()) {
    auto [id, ticket] = awaiting_.front();
    Ledger::State state = options_.ledger->state(ticket);
    if (state == Ledger::State::Pending) break;
    awaiting_.pop_front();
    Conn *c = find(id);
    if (c == nullptr) continue;
    if (state == Ledger::State::Failed) {
      logLine(options_.log, "!! %s: the ledger could not be written, answer withheld, closing\n", c->peer);
      closeConn(*c);
      continue;
    }
    deliver(*c);
  }
}

// Acts on the answer as its fault says. May close the connection.
void Loop::deliver(Conn &c) {
  Reply &r = c.reply;
  const std::vector<std::uint8_t> &f = r.frame;
  c.secondHalf = false;
  c.closeAfterSend = false;
  switch (r.action) {
  case FaultAction::Close: closeConn(c); return;
  case FaultAction::Drop: sent(c); return;
  case FaultAction::Delay: pause(c, r.ms); return;
  case FaultAction::Split: startSend(c, f.data(), f.size() / 2); return;
  case FaultAction::Garbage: {
    std::vector<std::uint8_t> g = f;
    if (g.size() > 2) randomBytes(g.data() + 2, g.size() - 2);
    startSend(c, g.data(), g.size());
    return;
  }
  case FaultAction::Truncate:
    c.closeAfterSend = true;
    startSend(c, f.data(), f.size() / 2);
    return;
  default:
    if (f.empty())
      sent(c);
    else
      startSend(c, f.data(), f.size());
  }
}

void Loop::startSend(Conn &c, const std::uint8_t *data, std::size_t len) {
  c.out.assign(data, data + len);
  c.outDone = 0;
  c.stage = Stage::Sending;
  c.until = Clock::now() + Ms(SEND_TIMEOUT_MS);
  writeTo(c);
}

void Loop::writeTo(Conn &c) {
  while (c.outDone < c.out.size()) {
    ssize_t n = send(c.fd, c.out.data() + c.outDone, c.out.size() - c.outDone, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return; // EPOLLOUT brings us back
    if (n <= 0) {
      closeConn(c);
      return;
    }
    c.outDone += static_cast<std::size_t>(n);
  }
  sent(c);
}

// The answer (or its part) went out: on to the split's second half, or the next frame.
void Loop::sent(Conn &c) {
  if (c.closeAfterSend) {
    closeConn(c);
    return;
  }
  if (c.reply.action == FaultAction::Split && !c.secondHalf) {
    c.secondHalf = true;
    pause(c, c.reply.ms);
    return;
  }
  c.stage = Stage::Reading;
  c.out.clear();
  c.reply = Reply{};
  // A frame that began during the answer counts from now, not from its first byte.
  c.lastByte = std::max(c.lastByte, Clock::now());
  ready_.push_back(c.id); // taken up by the loop, so pipelined frames do not recurse
}

// Pauses that are over: the answer (or its second half) goes out.
void Loop::resume(Clock::time_point now) {
  std::vector<std::uint64_t> due;
  for (std::uint64_t id : paused_)
    if (Conn *c = find(id); c != nullptr && now >= c->until) due.push_back(id);
  for (std::uint64_t id : due) {
    paused_.erase(id);
    Conn *c = find(id);
    if (c == nullptr) continue;
    const std::vector<std::uint8_t> &f = c->reply.frame;
    if (c->secondHalf)
      startSend(*c, f.data() + f.size() / 2, f.size() - f.size() / 2);
    else
      startSend(*c, f.data(), f.size());
  }
}

// Time-outs: unfinished frames, and answers the terminal does not take.
void Loop::sweep(Clock::time_point now) {
  std::vector<std::uint64_t> ids;
  ids.reserve(conns_.size());
  for (auto &[id, c] : conns_) ids.push_back(id);
  for (std::uint64_t id : ids) {
    Conn *c = find(id);
    if (c == nullptr) continue;
    if (c->stage == Stage::Reading && !c->in.empty()) {
      long waited = msBetween(c->lastByte, now);
      if (waited >= options_.frameTimeoutMs) {
        logLine(options_.log, "!! %s: a frame left unfinished for %ld ms, closing\n", c->peer, waited);
        closeConn(*c);
      }
    } else if (c->stage == Stage::Sending && now >= c->until) {
      logLine(options_.log, "!! %s: the terminal took no answer for %ld ms, closing\n", c->peer, SEND_TIMEOUT_MS);
      closeConn(*c);
    }
  }
  if (listenerPaused_ && now >= listenerBack_) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = LISTENER_ID;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, listener_, &ev);
    listenerPaused_ = false;
  }
  lastSweep_ = now;
}

// Until the next sweep, or sooner when a pause ends first.
int Loop::waitMs(Clock::time_point now) const {
  Clock::time_point next = lastSweep_ + Ms(TICK_MS);
  for (std::uint64_t id : paused_)
    if (auto it = conns_.find(id); it != conns_.end()) next = std::min(next, it->second->until);
  long ms = msBetween(now, next);
  return static_cast<int>(std::clamp(ms, 0L, TICK_MS));
}

void Loop::run() {
  if (options_.ledger != nullptr) options_.ledger->setGrouped(true);
  epoll_event events[MAX_EVENTS];
  std::vector<std::uint64_t> ready;
  while (!*stop_) {
    int n = epoll_wait(epoll_, events, MAX_EVENTS, waitMs(Clock::now()));
    if (n < 0 && errno != EINTR) break;
    for (int i = 0; i < n; ++i) {
      std::uint64_t id = events[i].data.u64;
      if (id == LISTENER_ID) {
        acceptAll();
      } else if (Conn *c = find(id)) {
        if (events[i].events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) c->readable = true;
        if (events[i].events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) c->hangUp = true;
        if ((events[i].events & EPOLLOUT) && c->stage == Stage::Sending) {
          writeTo(*c);
          c = find(id);
        }
        if (c != nullptr && c->readable && c->stage == Stage::Reading) readFrom(*c);
      }
    }
    Clock::time_point now = Clock::now();
    if (!paused_.empty()) resume(now);
    do {
      while (!ready_.empty()) {
        ready.swap(ready_);
        for (std::uint64_t id : ready)
          if (Conn *c = find(id); c != nullptr && c->stage == Stage::Reading) readFrom(*c);
        ready.clear();
      }
      // Every request of this turn in one batch; answers whose lines are
      // durable go out, and frames that were waiting behind them are taken.
      if (options_.ledger != nullptr && !awaiting_.empty()) {
        options_.ledger->commit();
        ledgerProgress();
      }
    } while (!ready_.empty());
    if (msBetween(lastSweep_, now) >= TICK_MS) sweep(now);
  }
  if (options_.ledger != nullptr) options_.ledger->setGrouped(false);
}

} // namespace

void serve(Switch &sw, int listener, const ServerOptions &options, const volatile sig_atomic_t *stop) {
  Loop loop(sw, listener, options, stop);
  if (!loop.init()) {
    std::fprintf(stderr, "switchsim: cannot watch connections: %s\n", std::strerror(errno));
    return;
  }
  loop.run();
}

} // namespace switchsim
