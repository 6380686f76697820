// ui_test_util.h - reading the menu rows and editor lines back off the simulated LCD.
#ifndef TESTS_UI_TEST_UTIL_H
#define TESTS_UI_TEST_UTIL_H

#include <string>
#include <vector>

#include "core_test_util.h"
#include "ui/Display.h"

class UiTest : public TerminalTest {
protected:
  // Texts on the screen holding fragment.
  static std::vector<sim::ScreenText> textsWith(const std::string &fragment) {
    std::vector<sim::ScreenText> found;
    for (const auto &t : sim::screenTexts())
      if (t.utf8.find(fragment) != std::string::npos) found.push_back(t);
    return found;
  }
  static bool shown(const std::string &fragment) { return !textsWith(fragment).empty(); }
  // The pixel row a text holding fragment is drawn at, -1 when it is not shown.
  static int rowY(const std::string &fragment) {
    const auto found = textsWith(fragment);
    return found.empty() ? -1 : found.front().y;
  }
  // The text drawn on the selection background, "" when none.
  static std::string selected() {
    for (const auto &t : sim::screenTexts())
      if (t.bgOn && t.bgRgb == SELECTED_ROW_BG) return t.utf8;
    return "";
  }
};

#endif
