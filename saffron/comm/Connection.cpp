// Connection.cpp - the link operations as the rest of saffron calls them; each
// forwards unchanged to the mid_ layer.
#include "comm/Connection.h"

int tcpInit() { return mid_tcpInit(); }
int tcpConnect(const char *address, int port) { return mid_tcpConnect(address, port); }
int tcpRead(unsigned char *buf, int *len, int bufSize) { return mid_tcpRead(buf, len, bufSize); }
int tcpWrite(const unsigned char *buf, int len) { return mid_tcpWrite(buf, len); }
int tcpClose() { return mid_tcpClose(); }

int remoteConnect(char *address, std::size_t addressSize, int port, int linkMode) {
  return mid_remoteConnect(address, addressSize, port, linkMode);
}

int remoteAction(const unsigned char *request, int requestLen, const char *title, const char *text,
                 unsigned char *response, int *responseLen, int responseSize, int linkMode) {
  (void)linkMode;
  return mid_remoteAction(request, requestLen, title, text, response, responseLen, responseSize);
}

int remoteDisconnect() { return mid_remoteDisconnect(); }
