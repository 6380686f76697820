/*
 * lcd.cpp - the 320 x 240 colour LCD: an RGB framebuffer and, beside it, a
 * model of what was drawn (each text with its place, alignment, size, colours
 * and UTF-8; each image with its name), so tests and scripts can read the
 * screen as text.
 *
 * Sections: state, the text model, DLL_Lcd operations, shots, sim:: interface.
 */
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "device.h"
#include "libapi.h"
#include "text.h"

namespace sim::detail {

/* ---- state ------------------------------------------------------------------------------------- */

constexpr int kW = DLL_LCD_WIDTH;
constexpr int kH = DLL_LCD_HEIGHT;
constexpr unsigned kWhite = 0xFFFFFF;
constexpr int kBoxPad = 2;  // background box margin left and right of the ink

struct Item {
  bool isText;
  ScreenText text;
  ScreenImage image;
  int x0, y0, x1, y1;  // box on the screen, x1/y1 exclusive (may reach outside the screen)
};

struct Lcd {
  unsigned char fb[kH * kW * 3];
  std::vector<Item> items;  // in drawing order
  int align = DLL_LCD_ALIGN_LEFT;
  int size = 3;
  unsigned color565 = 0;
  bool bgOn = false;
  unsigned bgRgb = kWhite;
  std::string fontName;
  int cursorX = 0, cursorY = 0;
  unsigned long long generation = 1;  // bumped on every change of the pixels, for front ends
};

static Lcd& lcd() {
  static Lcd* l = new Lcd();
  return *l;
}

static void fillRect(int x0, int y0, int x1, int y1, unsigned rgb) {
  Lcd& l = lcd();
  ++l.generation;
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > kW) x1 = kW;
  if (y1 > kH) y1 = kH;
  if (x0 >= x1 || y0 >= y1) return;
  // The first row pixel by pixel, the others copied from it: every screen
  // clear comes here, and in the sanitised builds a per-pixel loop is slow.
  unsigned char* first = l.fb + (static_cast<size_t>(y0) * kW + x0) * 3;
  for (int x = x0; x < x1; ++x) {
    unsigned char* p = first + static_cast<size_t>(x - x0) * 3;
    p[0] = static_cast<unsigned char>(rgb >> 16);
    p[1] = static_cast<unsigned char>(rgb >> 8);
    p[2] = static_cast<unsigned char>(rgb);
  }
  const size_t rowBytes = static_cast<size_t>(x1 - x0) * 3;
  for (int y = y0 + 1; y < y1; ++y) memcpy(l.fb + (static_cast<size_t>(y) * kW + x0) * 3, first, rowBytes);
}

void lcdReset() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Lcd& l = lcd();
  fillRect(0, 0, kW, kH, kWhite);
  l.items.clear();
  l.align = DLL_LCD_ALIGN_LEFT;
  l.size = 3;
  l.color565 = 0;
  l.bgOn = false;
  l.bgRgb = kWhite;
  l.fontName.clear();
  l.cursorX = l.cursorY = 0;
}

static unsigned rgb565To888(unsigned c) {
  unsigned r = (c >> 11) & 0x1F, g = (c >> 5) & 0x3F, b = c & 0x1F;
  return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

/* ---- the text model ------------------------------------------------------------------------------ */

// An item counts as gone once most of its box (clipped to the screen) is
// painted over: the terminal's screen no longer shows it.
static void forgetCovered(int x0, int y0, int x1, int y1, bool wholeWidth) {
  auto& items = lcd().items;
  std::vector<Item> kept;
  kept.reserve(items.size());
  for (const Item& it : items) {
    int ix0 = it.x0 < 0 ? 0 : it.x0, iy0 = it.y0 < 0 ? 0 : it.y0;
    int ix1 = it.x1 > kW ? kW : it.x1, iy1 = it.y1 > kH ? kH : it.y1;
    int h = iy1 - iy0, w = ix1 - ix0;
    int oy = std::min(iy1, y1) - std::max(iy0, y0);
    int ox = wholeWidth ? w : std::min(ix1, x1) - std::max(ix0, x0);
    bool gone = h <= 0 || w <= 0 || (oy > 0 && ox > 0 && 2 * oy > h && 2 * ox > w);
    if (!gone) kept.push_back(it);
  }
  items.swap(kept);
}

std::string quoteForListing(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char esc[8];
      snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string lcdListing() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  std::string out;
  char head[80];
  long long now = nowMs();
  time_t secs = static_cast<time_t>(now / 1000);
  struct tm t;
  gmtime_r(&secs, &t);
  snprintf(head, sizeof head, "# lcd 320x240 at %04d-%02d-%02d %02d:%02d:%02d\n", t.tm_year + 1900, t.tm_mon + 1,
           t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  out += head;
  static const char* kAlign[3] = {"left", "right", "centre"};
  for (const Item& it : lcd().items) {
    char line[160];
    std::string payload = quoteForListing(it.isText ? it.text.utf8 : it.image.name);
    if (it.isText) {
      const ScreenText& x = it.text;
      char bg[16];
      if (x.bgOn)
        snprintf(bg, sizeof bg, "#%06X", x.bgRgb & 0xFFFFFF);
      else
        snprintf(bg, sizeof bg, "none");
      snprintf(line, sizeof line, "text y=%d x=%d align=%s size=%d fg=#%06X bg=%s ", x.y, x.x,
               x.align >= 0 && x.align <= 2 ? kAlign[x.align] : "?", x.size, rgb565To888(x.textColor565), bg);
    } else {
      snprintf(line, sizeof line, "image x=%d y=%d ", it.image.x, it.image.y);
    }
    out += line;
    out += payload;
    out += '\n';
  }
  return out;
}

bool lcdWritePng(const std::string& path) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return pngWriteRgb(path, lcd().fb, kW, kH);
}

unsigned long long lcdSnapshot(unsigned char* rgb, size_t size, unsigned long long known) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  const Lcd& l = lcd();
  if (l.generation != known && rgb && size >= sizeof l.fb) memcpy(rgb, l.fb, sizeof l.fb);
  return l.generation;
}

}  // namespace sim::detail

/* ---- DLL_Lcd operations ------------------------------------------------------------------------------ */

using namespace sim::detail;

extern "C" int DLL_LcdCls(void) {
  powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  fillRect(0, 0, kW, kH, kWhite);
  lcd().items.clear();
  return DLL_OK;
}

extern "C" int DLL_LcdClrLine(int fromRow, int toRow) {
  powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  if (fromRow < 0) fromRow = 0;
  if (toRow > kH - 1) toRow = kH - 1;
  if (toRow < fromRow) return DLL_OK;  // nothing to clear
  fillRect(0, fromRow, kW, toRow + 1, kWhite);
  forgetCovered(0, fromRow, kW, toRow + 1, true);
  return DLL_OK;
}

extern "C" int DLL_LcdGotoxy(int x, int y) {
  powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  lcd().cursorX = x;
  lcd().cursorY = y;
  return DLL_OK;
}

extern "C" int DLL_LcdSetFont(const char* fontFile) {
  powerCutPoint();
  if (!fontFile) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  // Every name maps to the one cached font; report whether it can be read.
  lcd().fontName = fontFile;
  std::ifstream f(fontPath(), std::ios::binary);
  return f ? DLL_OK : DLL_ERR_NOT_READY;
}

extern "C" int DLL_LcdSetTTFConfig(int align, int size, unsigned int textColor565) {
  powerCutPoint();
  if (align < DLL_LCD_ALIGN_LEFT || align > DLL_LCD_ALIGN_CENTER || size < 1 || size > 3 ||
      textColor565 > 0xFFFF)
    return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  lcd().align = align;
  lcd().size = size;
  lcd().color565 = textColor565;
  return DLL_OK;
}

extern "C" int DLL_LcdSetTTFBGColor(int on, unsigned int rgb) {
  powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  lcd().bgOn = on != 0;
  lcd().bgRgb = rgb & 0xFFFFFF;
  return DLL_OK;
}

extern "C" int DLL_LcdPrintTTF(int x, int y, const char* utf8) {
  powerCutPoint();
  if (!utf8) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Lcd& l = lcd();
  std::string text(utf8);
  int width = 0;
  bool fontOk = textMeasure(text, l.size, &width);
  int penX;
  switch (l.align) {
    case DLL_LCD_ALIGN_RIGHT: penX = kW - width; break;  // flush to the right edge; x is not used
    case DLL_LCD_ALIGN_CENTER: penX = x + ((kW - 2 * x) - width) / 2; break;
    default: penX = x; break;
  }
  int lineH = textLineHeight(l.size);
  Item it{};
  it.isText = true;
  it.text = sim::ScreenText{x, y, l.align, l.size, l.color565, l.bgOn, l.bgRgb, text};
  it.x0 = penX - kBoxPad;
  it.x1 = penX + width + kBoxPad;
  it.y0 = y;
  it.y1 = y + lineH;
  if (l.bgOn) {
    fillRect(it.x0, it.y0, it.x1, it.y1, l.bgRgb);
    forgetCovered(it.x0, it.y0, it.x1, it.y1, false);
  }
  l.items.push_back(it);
  if (!fontOk) return DLL_ERR_NOT_READY;  // the text is known, but nothing could be drawn
  ++l.generation;
  textDraw(Canvas{l.fb, kW, kH}, text, l.size, penX, y, rgb565To888(l.color565));
  return DLL_OK;
}

extern "C" int DLL_LcdDrawLogo(int x, int y, const char* fileName) {
  powerCutPoint();
  if (!fileName) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Image img;
  std::string error;
  if (!imageLoad(fileName, &img, &error)) return DLL_ERR_PARAM;
  Lcd& l = lcd();
  ++l.generation;
  for (int r = 0; r < img.height; ++r) {
    int py = y + r;
    if (py < 0 || py >= kH) continue;
    for (int c = 0; c < img.width; ++c) {
      int px = x + c;
      if (px < 0 || px >= kW) continue;
      const unsigned char* s = &img.rgba[(static_cast<size_t>(r) * img.width + c) * 4];
      unsigned char* d = l.fb + (static_cast<size_t>(py) * kW + px) * 3;
      unsigned a = s[3];
      for (int k = 0; k < 3; ++k) d[k] = static_cast<unsigned char>((s[k] * a + d[k] * (255 - a) + 127) / 255);
    }
  }
  forgetCovered(x, y, x + img.width, y + img.height, false);
  Item it{};
  it.isText = false;
  it.image = sim::ScreenImage{x, y, fileName};
  it.x0 = x;
  it.y0 = y;
  it.x1 = x + img.width;
  it.y1 = y + img.height;
  l.items.push_back(it);
  return DLL_OK;
}

/* ---- sim:: interface ----------------------------------------------------------------------------------- */

namespace sim {

std::vector<ScreenText> screenTexts() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  std::vector<ScreenText> out;
  for (const Item& it : lcd().items)
    if (it.isText) out.push_back(it.text);
  return out;
}

std::vector<ScreenImage> screenImages() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  std::vector<ScreenImage> out;
  for (const Item& it : lcd().items)
    if (!it.isText) out.push_back(it.image);
  return out;
}

bool screenContains(const std::string& utf8Fragment) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  for (const Item& it : lcd().items)
    if (it.isText && it.text.utf8.find(utf8Fragment) != std::string::npos) return true;
  return false;
}

std::string screenListing() { return lcdListing(); }

bool writeShot(const std::string& dir, const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return false;
  std::string base = (dir.empty() ? std::string(".") : dir) + "/" + name;
  std::lock_guard<std::recursive_mutex> lock(mutex());  // picture and listing of the same moment
  if (!lcdWritePng(base + ".png")) return false;
  std::ofstream f(base + ".txt", std::ios::trunc | std::ios::binary);
  if (!f) return false;
  f << lcdListing();
  f.close();
  return static_cast<bool>(f);
}

const unsigned char* framebuffer() { return lcd().fb; }

unsigned pixelAt(int x, int y) {
  if (x < 0 || y < 0 || x >= kW || y >= kH) return 0;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  const unsigned char* p = lcd().fb + (static_cast<size_t>(y) * kW + x) * 3;
  return static_cast<unsigned>(p[0]) << 16 | static_cast<unsigned>(p[1]) << 8 | p[2];
}

}  // namespace sim
