/*
 * Connection.h - the link operations the rest of saffron calls. Each forwards
 * unchanged to its mid_ counterpart in communication.h (same arguments, same
 * results); linkMode is carried for the callers and not used.
 */
#ifndef SAFFRON_COMM_CONNECTION_H
#define SAFFRON_COMM_CONNECTION_H

#include "comm/communication.h"

int tcpInit();
int tcpConnect(const char *address, int port);
int tcpRead(unsigned char *buf, int *len, int bufSize);
int tcpWrite(const unsigned char *buf, int len);
int tcpClose();
int remoteConnect(char *address, std::size_t addressSize, int port, int linkMode);
int remoteAction(const unsigned char *request, int requestLen, const char *title, const char *text,
                 unsigned char *response, int *responseLen, int responseSize, int linkMode);
int remoteDisconnect();

#endif
