/*
 * CustomerMenu.cpp - the customer menu the idle screen opens on a swipe (or
 * the main menu's first item), and the mobile-charge choices (kind, operator,
 * amount) between the steps of the charge flow.
 */
#include <cstring>

#include "comm/Bearer.h"
#include "core/MenuTree.h"
#include "core/screen.h"
#include "txn/CustomerFlows.h"
#include "ui/Display.h"
#include "ui/Helper.h"
#include "ui/Menu.h"
#include "ui/Messages.h"

namespace {
constexpr int CUSTOMER_TITLE = 104;
constexpr int CHARGE_TITLE = 57;
constexpr int CHARGE_MENU_TITLE = 145;
constexpr int MSG_CANCELLED = 103;
constexpr int CANCEL_WAIT_MS = 3000;
constexpr int NOT_A_CHOICE = -100;

// The amount menu of an operator and charge kind, and its length.
const MenuItem *amountMenu(int op, int kind, int *count) {
  if (op == 1) return *count = 4, ChargeValueMciItemArray;
  if (op == 2) {
    if (kind == CHARGE_VOUCHER) return *count = 3, ChargeValueIRItemArrayPin;
    return *count = 6, ChargeValueIRItemArray;
  }
  if (kind == CHARGE_VOUCHER) return *count = 5, ChargeValueRightelItemArrayPin;
  return *count = 6, ChargeValueRightelItemArray;
}
} // namespace

int CustomerMenuCellCommon(int kind) {
  const int ready = chargeBegin();
  if (ready != 0) return ready;
  char number[16] = {};
  if (kind == CHARGE_TOPUP) {
    const int entered = chargeMobileNumber(number, sizeof number);
    if (entered != INPUT_ACCEPTED) return entered;
  }
  const int op = showMenu(OPERATOR_COUNT, SimOperatorMenuItemArray, CHARGE_TITLE);
  if (op < 1 || op > OPERATOR_COUNT) return op < 0 ? op : NOT_A_CHOICE;
  if (kind == CHARGE_TOPUP && chargeCheckOperator(op, number) != 0) return -1;
  std::memset(currentTransaction.description, 0, sizeof currentTransaction.description);
  int count = 0;
  const MenuItem *amounts = amountMenu(op, kind, &count);
  const int choice = showMenu(count, amounts, operatorNameMessage(op));
  if (choice < 0) return choice;
  setPrice(choice, op, kind);
  if (std::strcmp(currentTransaction.Price, "0") == 0) return NOT_A_CHOICE;
  return CustomerMenuActionCellType(kind, number, op);
}

int CustomerMenuCellType() {
  const int kind = showMenu(2, SimChargeTypeMenuItemArray, CHARGE_TITLE);
  if (kind != CHARGE_VOUCHER && kind != CHARGE_TOPUP) {
    char title[UI_MESSAGE_BUFFER_SIZE] = {};
    char text[UI_MESSAGE_BUFFER_SIZE] = {};
    mid_lcdCls();
    showMessage(getUiMessage(CHARGE_MENU_TITLE, title, sizeof title), getUiMessage(MSG_CANCELLED, text, sizeof text),
                CANCEL_WAIT_MS);
    return kind < 0 ? kind : NOT_A_CHOICE;
  }
  return CustomerMenuCellCommon(kind);
}

int CustomerMenuAction(int choice) {
  switch (choice) {
  case 1: return CustomerMenuPurchase();
  case 2: return CustomerMenuBalance();
  case 3: return CustomerMenuCellType();
  case 4: return CustomerMenuBill();
  default: return NOT_A_CHOICE;
  }
}

int CustomerMenu() {
  // With the PPP link up the switch connection is made in the background
  // while the customer types; otherwise the engine connects when it needs to.
  const bool threaded = DLL_PppStatus() == 0 && connectThread() == 0;
  isUsingTread = threaded ? 1 : 0;
  if (!customerMenuIsPicture()) initCustomerMenu();
  const int choice = showMenu(4, CustomerMenuItemArray, customerMenuIsPicture() ? 0 : CUSTOMER_TITLE);
  const int result = choice >= 0 ? CustomerMenuAction(choice) : choice;
  endCustomerFlow();
  if (threaded) disconnectThread();
  else tryDisconnect();
  isUsingTread = 0;
  return result;
}
