/*
 * communication.h - the TCP link to the switch: one process-wide socket, one
 * framed request/response exchange at a time.
 *
 * Frame on the wire, both directions: 2 length bytes (N, most significant first),
 * then N bytes: a 5-byte TPDU and the packed ISO 8583 message. The reader returns
 * the whole frame, length bytes included.
 *
 * This is the mid_ layer that does the work; Connection.h forwards to it.
 * Results are 0 / a descriptor / a length on success, negative on failure.
 */
#ifndef SAFFRON_COMM_COMMUNICATION_H
#define SAFFRON_COMM_COMMUNICATION_H

#include <cstddef>
#include <netinet/in.h>
#include <sys/socket.h>

// The one socket to the switch, -1 when no connection is open.
extern int sockfd;

constexpr int TCP_SEND_TIMEOUT_SEC = 2;     // socket send limit; on Linux it also bounds connect
constexpr int TCP_WAIT_MS_DEFAULT = 30000;  // wait for the socket to become writable / readable
constexpr int LINK_SEND_FAILED = -110;      // exchange: request not written in full
constexpr int TCP_READ_FAILED = -1;         // wait failed, or the 2 length bytes did not arrive
constexpr int TCP_READ_SHORT = -2;          // message bytes missing, or frame larger than the buffer

// First call ignores SIGPIPE (a write to a closed peer then fails instead of ending
// the process); later calls do nothing. Returns 0.
int mid_tcpInit();
// Opens sockfd to a dotted IPv4 address or a host name (first address). Returns
// sockfd, or -1 with sockfd -1.
int mid_tcpConnect(const char *address, int port);
// Waits until writable, then one send of the whole buffer. len, or -1.
int mid_tcpWrite(const unsigned char *buf, int len);
// Reads one frame into buf (bufSize bytes). 0 and *len = N + 2 on success;
// 0 with *len unchanged when nothing arrived within the wait; -1 when the wait
// failed or the length bytes did not arrive; -2 when the message bytes did not all
// arrive or N + 2 exceeds bufSize (nothing is written past the buffer).
int mid_tcpRead(unsigned char *buf, int *len, int bufSize);
// Closes sockfd if open and sets it to -1; the close result, or 0.
int mid_tcpClose();

// Rewrites the address in place without leading zeros ("%d.%d.%d.%d" of its first
// four parts), logs the configured bearer and connects. The result of mid_tcpConnect.
// linkMode is accepted and not used.
int mid_remoteConnect(char *address, std::size_t addressSize, int port, int linkMode);
// One exchange on the open connection: reports LINK_SENDING and then
// LINK_RECEIVING with title/text to the progress callback when a title is given,
// writes the request and reads the response. 0, -110 when the request was not
// written in full, else the status of mid_tcpRead.
int mid_remoteAction(const unsigned char *request, int requestLen, const char *title, const char *text,
                     unsigned char *response, int *responseLen, int responseSize);
// mid_tcpClose; returns 0.
int mid_remoteDisconnect();

// ---- progress ------------------------------------------------------------------

// Stages of an exchange a caller may show; the link itself never draws.
constexpr int LINK_SENDING = 1;   // before the request is written
constexpr int LINK_RECEIVING = 2; // the request is out, the answer is awaited
using LinkProgress = void (*)(int stage, const char *title, const char *text);
// Sets the process-wide progress callback (nullptr: nobody is told). Returns the previous one.
LinkProgress mid_setLinkProgress(LinkProgress progress);

// ---- test settings and the socket seam ---------------------------------------

// Wait used by mid_tcpWrite / mid_tcpRead, in ms. Tests shorten it; the terminal
// never calls this and keeps TCP_WAIT_MS_DEFAULT.
void mid_tcpSetWaitMs(int ms);
int mid_tcpWaitMs();

// The system calls the link goes through, swappable by tests (e.g. a resolver that
// fails, a connect that counts its calls). Defaults are the real ones.
struct TcpSysCalls {
  // Resolves a host name to its first IPv4 address; 0 on success.
  int (*resolve)(const char *name, in_addr *out);
  int (*connect)(int fd, const sockaddr *addr, socklen_t len);
};
extern TcpSysCalls tcpSys;
extern const TcpSysCalls tcpSysDefault;

#endif
