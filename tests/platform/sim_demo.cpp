/*
 * sim_demo.cpp - a small terminal program for the simulator's end-to-end tests:
 * it draws the idle picture, a title, and a Persian line holding a Solar Hijri
 * date and a time (Arabic-Indic digits, digit runs pre-reversed as the payment
 * application does), then waits for keys and swipes and shows what arrived.
 * Cancel switches the terminal off.
 */
#include <cstdio>
#include <cstring>
#include <string>

#include "libapi.h"
#include "platform_clock.h"

namespace {

// Reverses every run of ASCII digits and the punctuation that travels with
// them (the time separator included), so that the run reads correctly inside a right-to-left line.
std::string reverseDigitRuns(const std::string& s) {
  static const char kRun[] = "0123456789:#*&@./,-()! $%^\"'|?><;~`{}";
  std::string out = s;
  size_t i = 0;
  while (i < out.size()) {
    if (!strchr(kRun, out[i]) || out[i] == '\0') {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < out.size() && out[j] != '\0' && strchr(kRun, out[j])) ++j;
    std::string run = out.substr(i, j - i);
    out.replace(i, j - i, std::string(run.rbegin(), run.rend()));
    i = j;
  }
  return out;
}

// ASCII digits -> Arabic-Indic digits (U+0660 + d).
std::string arabicDigits(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c >= '0' && c <= '9') {
      out += static_cast<char>(0xD9);
      out += static_cast<char>(0xA0 + (c - '0'));
    } else {
      out += c;
    }
  }
  return out;
}

void line(int align, int y, const std::string& utf8, unsigned bg = 0xFFFFFF) {
  DLL_LcdSetTTFBGColor(1, bg);
  DLL_LcdSetTTFConfig(align, 3, 0);
  DLL_LcdPrintTTF(1, y, utf8.c_str());
  DLL_LcdSetTTFBGColor(1, 0xFFFFFF);
}

// Loads throwaway keys into the PIN pad and asks for a PIN of 4 to 12 digits.
bool askPin() {
  static const unsigned char kMaster[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  static const unsigned char kWorking[16] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                                             0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01};
  if (DLL_PciWriteMKey(0, kMaster, 16, nullptr, 0, 0) != 0) return false;
  if (DLL_PciWriteSKey(DLL_PCI_KEY_PIN, 0, 16, kWorking, DLL_PCI_PROTECT_MASTER, 0) != 0) return false;
  unsigned char block[8];
  return DLL_PciGetPin(0, 4, 12, 16, "6037991234567890", 0, block, 30) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  DLL_ApiInit(argc, argv);
  DLL_LcdSetFont("/home/user0/fonts/Vazir-Bold.ttf");
  DLL_LcdCls();
  DLL_LcdDrawLogo(0, 0, "main.png");
  DLL_LcdSetTTFBGColor(1, 0x00C9FF);
  DLL_LcdSetTTFConfig(DLL_LCD_ALIGN_CENTER, 2, 0x6080);
  DLL_LcdPrintTTF(1, 0, "\xD9\xBE\xD8\xA7\xDB\x8C\xD8\xA7\xD9\x86\xD9\x87 \xD9\x86\xD9\x85\xD9\x88\xD9\x86\xD9\x87");
  // "today 1405/09/16 at 10:00"
  std::string today = "\xD8\xA7\xD9\x85\xD8\xB1\xD9\x88\xD8\xB2 1405/09/16 \xD8\xB3\xD8\xA7\xD8\xB9\xD8\xAA 10:00";
  line(DLL_LCD_ALIGN_RIGHT, 45, arabicDigits(reverseDigitRuns(today)));
  char sn[DLL_SN_SIZE] = {0};
  DLL_SysReadSN(sn);
  line(DLL_LCD_ALIGN_LEFT, 79, std::string("SN ") + sn);
  DLL_McrOpen();
  DLL_McrReset();

  for (;;) {
    unsigned char key = 0;
    if (DLL_KbGetCh(&key) == 0) {
      DLL_LcdClrLine(181, 214);
      line(DLL_LCD_ALIGN_CENTER, 181, "key " + std::to_string(key));
      if (key == DLL_KEY_CANCEL) DLL_SysPowerDown();
      if (key == DLL_KEY_F7) {
        DLL_LcdClrLine(113, 146);
        line(DLL_LCD_ALIGN_CENTER, 113, "pin?");
        bool ok = askPin();
        DLL_LcdClrLine(113, 146);
        line(DLL_LCD_ALIGN_CENTER, 113, ok ? "pin ok" : "pin refused");
      }
    }
    if (DLL_McrCheck()) {
      int l1 = 0, l2 = 0, l3 = 0;
      unsigned char t1[128], t2[128], t3[128];
      int ok = DLL_McrRead(&l1, t1, &l2, t2, &l3, t3);
      DLL_LcdClrLine(147, 180);
      line(DLL_LCD_ALIGN_CENTER, 147, ok ? "card " + std::to_string(l2) : std::string("card refused"));
    }
    PLAT_SleepMs(50);
  }
}
