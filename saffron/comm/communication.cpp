// communication.cpp - the TCP link to the switch (the mid_ layer): connect,
// framed read and write on the one process-wide socket, close, and the exchange.
//
// Waits run on real time (poll), not on the terminal's timer service: the switch
// is a real peer on a real socket, whatever the simulator does with its clock.
//
// A short receive is completed by further receive calls until the frame is whole
// or the wait window ends: TCP may deliver one frame in several pieces, and the
// switch's answer is only lost when it really stops short.
#include "comm/communication.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <netdb.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include "core/Filing.h"
#include "core/debug.h"
#include "util/Strings.h"

int sockfd = -1;

namespace {

constexpr int LENGTH_BYTES = 2;
constexpr int FRAME_HEADER_BYTES = 7;  // length and TPDU: all that the log shows of a frame

bool socketsPrepared = false;
int waitMs = TCP_WAIT_MS_DEFAULT;
LinkProgress linkProgress = nullptr;

int defaultResolve(const char *name, in_addr *out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *result = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &result) != 0 || result == nullptr) return -1;
  *out = reinterpret_cast<const sockaddr_in *>(result->ai_addr)->sin_addr;
  freeaddrinfo(result);
  return 0;
}

int64_t monotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Waits until the socket is ready for events or the deadline passes: 1 ready,
// 0 timed out, -1 failed. A hang-up or error counts as ready so the following
// call reports it.
int waitFor(short events, int64_t deadline) {
  for (;;) {
    const int64_t left = deadline - monotonicMs();
    if (left <= 0) return 0;
    pollfd p{sockfd, events, 0};
    const int rc = poll(&p, 1, static_cast<int>(left));
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0) return -1;
    if (rc == 0) return 0;
    if (p.revents & POLLNVAL) return -1;
    return 1;
  }
}

// Receives exactly len bytes unless the peer closes, fails or the deadline
// passes; returns the number received.
int receiveAll(unsigned char *buf, int len, int64_t deadline) {
  int got = 0;
  while (got < len) {
    const ssize_t n = recv(sockfd, buf + got, static_cast<size_t>(len - got), MSG_DONTWAIT);
    if (n > 0) {
      got += static_cast<int>(n);
      continue;
    }
    if (n == 0) break;  // peer closed
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) break;
    if (waitFor(POLLIN, deadline) != 1) break;
  }
  return got;
}

void logFrameHeader(const unsigned char *frame, int len) {
  // Only the length and TPDU: the message carries card data that no log may show.
  if (frame == nullptr || len <= 0) return;
  USB_printfData(frame, static_cast<std::size_t>(len < FRAME_HEADER_BYTES ? len : FRAME_HEADER_BYTES));
}

}  // namespace

const TcpSysCalls tcpSysDefault = {defaultResolve, ::connect};
TcpSysCalls tcpSys = tcpSysDefault;

void mid_tcpSetWaitMs(int ms) { waitMs = ms > 0 ? ms : TCP_WAIT_MS_DEFAULT; }
int mid_tcpWaitMs() { return waitMs; }

int mid_tcpInit() {
  if (socketsPrepared) return 0;
  signal(SIGPIPE, SIG_IGN);
  socketsPrepared = true;
  return 0;
}

int mid_tcpConnect(const char *address, int port) {
  mid_tcpInit();
  // One connection at a time: a socket still open would otherwise leak.
  mid_tcpClose();
  if (address == nullptr || port <= 0 || port > 65535) return -1;

  sockfd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (sockfd < 0) return -1;
  // 2-second send limit; on Linux it also bounds connect.
  timeval limit{TCP_SEND_TIMEOUT_SEC, 0};
  setsockopt(sockfd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);

  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, address, &peer.sin_addr) != 1 && tcpSys.resolve(address, &peer.sin_addr) != 0) {
    USB_printf2("-----------connect(%d) ===>>> %s", sockfd, "host name not resolved");
    mid_tcpClose();
    return -1;
  }

  int rc;
  do {
    rc = tcpSys.connect(sockfd, reinterpret_cast<const sockaddr *>(&peer), sizeof peer);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    USB_printf2("-----------connect(%d) ===>>> %s", sockfd, strerror(errno));
    mid_tcpClose();
    return -1;
  }
  USB_printf2("connect(%d) : OK", sockfd);
  return sockfd;
}

int mid_tcpWrite(const unsigned char *buf, int len) {
  if (sockfd < 0 || buf == nullptr || len <= 0) return -1;
  if (waitFor(POLLOUT, monotonicMs() + waitMs) != 1) return -1;
  ssize_t n;
  do {
    n = send(sockfd, buf, static_cast<size_t>(len), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n == len ? len : -1;
}

int mid_tcpRead(unsigned char *buf, int *len, int bufSize) {
  if (sockfd < 0 || buf == nullptr || len == nullptr) return TCP_READ_FAILED;
  const int64_t deadline = monotonicMs() + waitMs;
  const int ready = waitFor(POLLIN, deadline);
  if (ready < 0) return TCP_READ_FAILED;
  if (ready == 0) return 0;  // nothing within the wait: *len unchanged

  if (bufSize < LENGTH_BYTES) return TCP_READ_SHORT;
  if (receiveAll(buf, LENGTH_BYTES, deadline) != LENGTH_BYTES) return TCP_READ_FAILED;
  const int n = buf[0] * 256 + buf[1];
  // The frame must fit the caller's buffer; nothing is written past it.
  if (n + LENGTH_BYTES > bufSize) return TCP_READ_SHORT;
  if (receiveAll(buf + LENGTH_BYTES, n, deadline) != n) return TCP_READ_SHORT;
  *len = n + LENGTH_BYTES;
  return 0;
}

int mid_tcpClose() {
  if (sockfd < 0) return 0;
  const int r = close(sockfd);
  sockfd = -1;
  return r;
}

int mid_remoteConnect(char *address, std::size_t addressSize, int port, int linkMode) {
  (void)linkMode;
  if (address == nullptr || addressSize == 0) return -1;
  trimIpAddressLeadingZero(address, addressSize);
  USB_printf2("remoteConnect(%s, %d) over %s", address, port, config.connectionType == 1 ? "WIFI" : "GPRS");
  // A host name or a mistyped address comes out of the trim as 0.0.0.0, which
  // Linux connects to this very machine: never a switch, so no attempt is made.
  if (std::strcmp(address, "0.0.0.0") == 0) return -1;
  return mid_tcpConnect(address, port);
}

int mid_remoteAction(const unsigned char *request, int requestLen, const char *title, const char *text,
                     unsigned char *response, int *responseLen, int responseSize) {
  const bool titled = title != nullptr && title[0] != '\0' && linkProgress != nullptr;
  if (titled) linkProgress(LINK_SENDING, title, text != nullptr ? text : "");

  const int written = mid_tcpWrite(request, requestLen);
  USB_printf2("tcpWrite(%d, %d)", requestLen, written);
  logFrameHeader(request, requestLen);
  if (written < requestLen || written <= 0) return LINK_SEND_FAILED;

  if (titled) linkProgress(LINK_RECEIVING, title, text != nullptr ? text : "");

  const int status = mid_tcpRead(response, responseLen, responseSize);
  const int got = responseLen != nullptr ? *responseLen : 0;
  USB_printf2("tcpRead(%d, %d)", status, got);
  if (status == 0) logFrameHeader(response, got);
  return status;
}

LinkProgress mid_setLinkProgress(LinkProgress progress) {
  const LinkProgress previous = linkProgress;
  linkProgress = progress;
  return previous;
}

int mid_remoteDisconnect() {
  mid_tcpClose();
  return 0;
}
