/*
 * server.h - serving a Switch on a listening socket: every connection on one
 * event loop up to a limit, an idle time-out for a frame left half sent,
 * answers held until their ledger lines are durable, and the transport faults
 * (drop, close, delay, split, garbage, truncate).
 */
#ifndef SWITCHSIM_SERVER_H
#define SWITCHSIM_SERVER_H

#include <signal.h>

#include <cstdio>

#include "switch.h"

namespace switchsim {

struct ServerOptions {
  int maxConnections = 256; // more are accepted and closed at once, with a log line
  long frameTimeoutMs = 10000; // a frame begun but not finished for this long closes the connection
  std::FILE *log = stdout;     // connection events, or null
  Ledger *ledger = nullptr;    // the Switch's ledger: written in batches while serving
};

// Largest frame a terminal sends; a length word above this closes the connection.
constexpr std::size_t MAX_FRAME = 4096;
// Connections waiting to be accepted: a burst of a few hundred terminals fits.
constexpr int LISTEN_BACKLOG = 512;

// Accepts and serves connections on `listener` until *stop becomes non-zero;
// returns with every connection closed and the ledger's last lines written.
void serve(Switch &sw, int listener, const ServerOptions &options, const volatile sig_atomic_t *stop);

} // namespace switchsim

#endif
