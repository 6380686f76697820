/*
 * reset.h - every test fixture starts here: all process-wide state of the
 * terminal back to a fresh start, so no test sees what another left behind.
 */
#ifndef TESTS_SUPPORT_RESET_H
#define TESTS_SUPPORT_RESET_H

namespace testsupport {

// The simulator (device, script, virtual clock, PIN pad keys; dataDir becomes
// the working folder when given), the configuration, turn row and accounts,
// the current transaction, the link (socket closed, real system calls, default
// wait, no progress callback, bearer down, no thread), the timers, the
// backlight state, the debug switch and the engine's receipt seam.
void resetAll(const char *dataDir = nullptr);

}  // namespace testsupport

#endif
