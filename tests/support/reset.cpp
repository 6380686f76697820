// reset.cpp - the one reset every fixture calls.
#include "reset.h"

#include <cstring>

#include "comm/Bearer.h"
#include "comm/communication.h"
#include "core/Filing.h"
#include "core/debug.h"
#include "core/system.h"
#include "core/time.h"
#include "journal/Journal.h"
#include "pinpad.h"
#include "sim.h"
#include "txn/Engine.h"

namespace testsupport {

void resetAll(const char *dataDir) {
  sim::resetForTest(dataDir);
  sim::resetPinPadForTest();

  config = {};
  turnRow = {};
  std::memset(merchantAccounts, 0, sizeof merchantAccounts);
  clearTransaction(&currentTransaction);

  mid_tcpClose();
  tcpSys = tcpSysDefault;
  mid_tcpSetWaitMs(0);
  mid_setLinkProgress(nullptr);
  connectionStatus = LINK_DOWN;
  initLinkState();

  mid_sysTimerResetAll();
  lcdBackLightStruct = {};
  hasDebug = 0;
  engineReceipts = engineReceiptsDefault;
}

}  // namespace testsupport
