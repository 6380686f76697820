/*
 * MenuActions.cpp - what the main menu's choices open. Each is one small
 * function; until its screens exist it says "not possible" and the menu comes
 * back. Whoever builds a screen replaces its function here (or deletes it
 * here and defines it beside the screens).
 */
#include "core/MenuTree.h"
#include "ui/Display.h"
#include "ui/Messages.h"

namespace {
constexpr int NOT_POSSIBLE_MESSAGE = 369;
constexpr int NOT_POSSIBLE_WAIT_MS = 3000;
} // namespace

int menuActionNotPossible(int titleId) {
  char title[UI_MESSAGE_BUFFER_SIZE] = {};
  char text[UI_MESSAGE_BUFFER_SIZE] = {};
  showMessage(getUiMessage(titleId, title, sizeof title), getUiMessage(NOT_POSSIBLE_MESSAGE, text, sizeof text),
              NOT_POSSIBLE_WAIT_MS);
  return 0;
}
