// FullReset.cpp - the full reset: the journal's files and the settings' records, and its screen.
#include "core/FullReset.h"

#include "comm/Bearer.h"
#include "core/Filing.h"
#include "core/key.h"
#include "journal/Journal.h"
#include "txn/Engine.h"
#include "ui/Display.h"
#include "ui/Messages.h"

int resetTerminalSettings() {
  removeTempFile();
  removeTransactionFile();
  return resetFilingRecords();
}

int ConfigurationMenuBankingDefault() {
  // Whatever the last transaction still owes goes out before the journal is wiped.
  if (tryConnect() >= 0) {
    int owed = 0;
    checkLastTransactionStatus(&owed, 0);
  }
  tryDisconnect();
  char title[128] = {};
  char line[128] = {};
  getUiMessage(272, title, sizeof title);
  showMessage(title, getUiMessage(225, line, sizeof line), 0);
  updateMessageXY(1, 5, getUiMessage(322, line, sizeof line), 0);
  const int answer = waitForResult(0, 10000);
  if (answer == WAIT_ENTER) {
    resetTerminalSettings();
    showMessage(title, getUiMessage(264, line, sizeof line), 0);
  } else {
    showMessage(title, getUiMessage(103, line, sizeof line), 0);
  }
  waitForResult(0, 4000);
  return 0;
}
