/*
 * printer.cpp - the thermal printer: a page composed in a 384-dot-wide buffer
 * (texts shaped in the terminal's font, left/right lines, 1-bit logos), printed
 * by DLL_FTPrnStart onto a paper strip, with paper that can run out.
 *
 * Headless, every printed page is written as print-NNN.png (the paper) and
 * print-NNN.txt (each item with its place, alignment and size) into the output
 * folder; the window shows the strip. Feeding paper takes virtual time.
 *
 * Sections: state, the page listing, rendering, DLL_Prn operations, sim::
 * interface.
 */
#include <cstdio>
#include <cstring>
#include <fstream>

#include "device.h"
#include "libapi.h"
#include "text.h"

namespace sim::detail {

/* ---- state ---------------------------------------------------------------------------------------- */

constexpr int kW = kPaperWidth;
constexpr int kMaxPageDots = 8000;        // one page; a statement page is well under 1000
constexpr int kMaxStripDots = 40000;      // the window keeps this much paper, dropping the oldest
constexpr int kStripSlackDots = 20000;    // ... once it has this much more
constexpr int kCutDots = 12;              // blank paper and a dashed tear line between pages
constexpr size_t kMaxKeptPages = 64;      // pages tests and front ends can read back
constexpr long long kMsPerDotRow = 2;     // feed speed: 500 dot rows a second
constexpr int kMinSize = 8, kMaxSize = 64;

struct PrnItem {
  enum Kind { Text, LeftRight, Logo } kind = Text;
  int x = 0, y = 0, align = 0, size = 0, lineSpace = 0;
  std::string text, right;              // Text: text; LeftRight: text is the left part
  int w = 0, h = 0;                     // Logo
  std::vector<unsigned char> bits;      // Logo rows, (w + 7) / 8 bytes each
};

struct Printer {
  int gray = 6;
  int align = DLL_PRN_ALIGN_LEFT_RIGHT, size = 24, x = 0, y = 0, lineSpace = 0;
  std::vector<PrnItem> page;
  bool paperOut = false;
  int printed = 0;                      // pages printed since reset: the NNN of print-NNN
  std::vector<sim::PrintedPage> kept;   // the newest kMaxKeptPages
  PaperStrip strip;
  // The strip is kept only once a front end has asked for it: without a window
  // nobody looks at it, and adding every page to it cost more than printing.
  bool stripWanted = false;
};

static Printer& prn() {
  static Printer* p = new Printer();
  return *p;
}

void printerReset() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Printer& p = prn();
  unsigned long long gen = p.strip.generation;
  p = Printer();
  p.strip.generation = gen + 1;  // front ends see the cleared strip
}

static void appendToStrip(PaperStrip& s, const std::vector<unsigned char>& rgb, int height);

bool printerPaper(PaperStrip* out, unsigned long long known) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Printer& p = prn();
  if (!p.stripWanted) {  // first asked: the pages still kept make the strip so far
    p.stripWanted = true;
    for (const sim::PrintedPage& page : p.kept) appendToStrip(p.strip, page.rgb, page.height);
  }
  const PaperStrip& s = p.strip;
  if (out && s.generation != known) *out = s;
  return true;
}

/* ---- the page listing --------------------------------------------------------------------------- */

static std::string listing(const Printer& p, int number, int height) {
  static const char* kAlign[3] = {"left", "centre", "right"};
  long long now = nowMs();
  time_t secs = static_cast<time_t>(now / 1000);
  struct tm t;
  gmtime_r(&secs, &t);
  char line[200];
  snprintf(line, sizeof line, "# print %03d %dx%d gray=%d at %04d-%02d-%02d %02d:%02d:%02d\n", number, kW, height,
           p.gray, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  std::string out = line;
  for (const PrnItem& it : p.page) {
    switch (it.kind) {
      case PrnItem::Text:
        snprintf(line, sizeof line, "text y=%d x=%d align=%s size=%d", it.y, it.x,
                 it.align >= 0 && it.align <= 2 ? kAlign[it.align] : "?", it.size);
        out += line;
        if (it.lineSpace) out += " space=" + std::to_string(it.lineSpace);
        // Appended piece by piece: GCC 12's optimiser flags "literal" + string as overlapping (-Wrestrict).
        out.append(" ").append(quoteForListing(it.text)).append("\n");
        break;
      case PrnItem::LeftRight:
        snprintf(line, sizeof line, "pair y=%d x=%d size=%d", it.y, it.x, it.size);
        out += line;
        if (it.lineSpace) out += " space=" + std::to_string(it.lineSpace);
        out.append(" left=").append(quoteForListing(it.text)).append(" right=").append(quoteForListing(it.right)).append("\n");
        break;
      case PrnItem::Logo:
        snprintf(line, sizeof line, "logo y=%d x=%d %dx%d\n", it.y, it.x, it.w, it.h);
        out += line;
        break;
    }
  }
  return out;
}

/* ---- rendering ------------------------------------------------------------------------------------- */

// The size names the line box in dots; glyphs are drawn at five eighths of it,
// which keeps a 26-dot line legible at the 15-dot pitch receipts pack lines at.
static int pixelSizeOf(int size) { return size * 5 / 8; }

// Ink of the grey level: 8 is black, lower levels print lighter.
static unsigned inkOf(int gray) {
  unsigned v = static_cast<unsigned>((8 - gray) * 28);
  return v << 16 | v << 8 | v;
}

static int measure(std::string s, int size) {
  for (char& ch : s)
    if (ch == '\t') ch = ' ';
  int w = 0;
  textMeasurePx(s, pixelSizeOf(size), &w);
  return w;
}

static void drawLine(Canvas c, std::string s, int size, int penX, int top, unsigned ink) {
  for (char& ch : s)
    if (ch == '\t') ch = ' ';  // the head has no tab stops: a tab feeds like a space
  if (s.find_first_not_of(' ') == std::string::npos) return;  // blank: paper feed only
  textDrawPx(c, s, pixelSizeOf(size), penX, top, size, ink);
}

static void renderItem(Canvas c, const PrnItem& it, unsigned ink) {
  if (it.kind == PrnItem::Logo) {
    int stride = (it.w + 7) / 8;
    for (int r = 0; r < it.h; ++r)
      for (int col = 0; col < it.w; ++col) {
        if (!(it.bits[static_cast<size_t>(r) * stride + col / 8] & (0x80 >> (col % 8)))) continue;
        int px = it.x + col, py = it.y + r;
        if (px < 0 || py < 0 || px >= c.width || py >= c.height) continue;
        unsigned char* d = c.rgb + (static_cast<size_t>(py) * c.width + px) * 3;
        d[0] = static_cast<unsigned char>(ink >> 16);
        d[1] = static_cast<unsigned char>(ink >> 8);
        d[2] = static_cast<unsigned char>(ink);
      }
    return;
  }
  if (it.kind == PrnItem::LeftRight) {
    drawLine(c, it.text, it.size, it.x, it.y, ink);
    drawLine(c, it.right, it.size, kW - it.x - measure(it.right, it.size), it.y, ink);
    return;
  }
  // A text may hold line ends: each further line sits a line box plus the fine-tuned space lower.
  int top = it.y;
  size_t start = 0;
  for (;;) {
    size_t nl = it.text.find('\n', start);
    std::string one = it.text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    int w = measure(one, it.size);
    int penX = it.x;
    if (it.align == DLL_PRN_ALIGN_CENTER) penX = it.x + (kW - 2 * it.x - w) / 2;
    else if (it.align == DLL_PRN_ALIGN_RIGHT) penX = it.x - w;  // the line ends at x
    drawLine(c, one, it.size, penX, top, ink);
    if (nl == std::string::npos) break;
    start = nl + 1;
    top += it.size + it.lineSpace;
  }
}

static void appendToStrip(PaperStrip& s, const std::vector<unsigned char>& rgb, int height) {
  const size_t row = static_cast<size_t>(kW) * 3;
  s.rgb.insert(s.rgb.end(), rgb.begin(), rgb.end());
  for (int r = 0; r < kCutDots; ++r) {
    size_t at = s.rgb.size();
    s.rgb.resize(at + row, 0xFF);
    if (r == kCutDots / 2)
      for (int x = 0; x < kW; ++x)
        if ((x / 6) % 2 == 0) std::memset(&s.rgb[at + static_cast<size_t>(x) * 3], 0xA0, 3);
  }
  s.height += height + kCutDots;
  // Trimmed only once a slack has gathered: dropping the oldest rows moves the
  // whole strip, which after every page would cost more than printing it.
  if (s.height > kMaxStripDots + kStripSlackDots) {
    size_t drop = static_cast<size_t>(s.height - kMaxStripDots);
    s.rgb.erase(s.rgb.begin(), s.rgb.begin() + static_cast<long>(drop * row));
    s.height = kMaxStripDots;
  }
  ++s.generation;
}

}  // namespace sim::detail

/* ---- DLL_Prn operations ------------------------------------------------------------------------------ */

using namespace sim::detail;

extern "C" int DLL_PrnSetGray(int level) {
  if (level < 1 || level > 8) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  prn().gray = level;
  return DLL_OK;
}

extern "C" int DLL_PrnInit(void) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Printer& p = prn();
  p.page.clear();
  p.align = DLL_PRN_ALIGN_LEFT_RIGHT;
  p.size = 24;
  p.x = p.y = 0;
  p.lineSpace = 0;
  return DLL_OK;
}

extern "C" int DLL_FTPrnStrSetConfig(int align, int size, int x, int y) {
  if (align < DLL_PRN_ALIGN_LEFT_RIGHT || align > DLL_PRN_ALIGN_RIGHT || size < kMinSize || size > kMaxSize ||
      x < 0 || x > kW || y < 0 || y >= kMaxPageDots)
    return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Printer& p = prn();
  p.align = align;
  p.size = size;
  p.x = x;
  p.y = y;
  return DLL_OK;
}

// The font file can be read. A statement queues hundreds of items, so a path
// once opened is taken as readable until the font is switched.
static bool fontReadable() {
  static std::string readable;
  const std::string path = fontPath();
  if (path == readable) return true;
  if (!std::ifstream(path, std::ios::binary)) return false;
  readable = path;
  return true;
}

static int queue(PrnItem it) {
  if (!fontReadable()) return DLL_ERR_NOT_READY;
  Printer& p = prn();
  it.x = p.x;
  it.y = p.y;
  it.align = p.align;
  it.size = p.size;
  it.lineSpace = p.lineSpace;
  p.page.push_back(std::move(it));
  return DLL_OK;
}

extern "C" int DLL_FTPrnStr(const char* fontFile, const char* utf8) {
  if (!fontFile || !utf8) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  PrnItem it;
  it.kind = PrnItem::Text;
  it.text = utf8;
  return queue(std::move(it));
}

extern "C" int DLL_FTPrnStrLeftRight(const char* fontFile, const char* left, const char* right) {
  if (!fontFile || !left || !right) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  PrnItem it;
  it.kind = PrnItem::LeftRight;
  it.text = left;
  it.right = right;
  return queue(std::move(it));
}

extern "C" int DLL_FTPrnFineTuneLineSpace(int dots) {
  if (dots < 0 || dots > kMaxSize) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  prn().lineSpace = dots;
  return DLL_OK;
}

extern "C" int DLL_PrnLogo(const unsigned char* logo, int x, int y) {
  if (!logo || x < 0 || x >= kW || y < 0 || y >= kMaxPageDots) return DLL_ERR_PARAM;
  // The header is all the platform has to size the bitmap by: refuse what cannot be a logo.
  int w = logo[1] << 8 | logo[2], h = logo[3] << 8 | logo[4];
  if (logo[0] != 0x01 || w < 1 || w > kW || h < 1 || h > 1024) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Printer& p = prn();
  PrnItem it;
  it.kind = PrnItem::Logo;
  it.x = x;
  it.y = y;
  it.w = w;
  it.h = h;
  it.bits.assign(logo + 5, logo + 5 + static_cast<size_t>((w + 7) / 8) * h);
  p.page.push_back(std::move(it));
  return DLL_OK;
}

extern "C" int DLL_PrnCheckStatus(void) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return prn().paperOut ? DLL_PRN_NO_PAPER : DLL_OK;
}

extern "C" int DLL_FTPrnStart(int height) {
  if (height < 1 || height > kMaxPageDots) return DLL_ERR_PARAM;
  int number;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex());
    Printer& p = prn();
    if (p.paperOut) {
      noteEvent("printer: no paper, page of " + std::to_string(height) + " dots kept");
      return DLL_PRN_NO_PAPER;  // the page stays composed for the retry
    }
    number = ++p.printed;
    std::vector<unsigned char> rgb(static_cast<size_t>(kW) * height * 3, 0xFF);
    unsigned ink = inkOf(p.gray);
    for (const PrnItem& it : p.page) renderItem(Canvas{rgb.data(), kW, height}, it, ink);
    sim::PrintedPage page{number, height, listing(p, number, height), {}};
    const Device& d = dev();
    if (!d.outDir.empty()) {
      char name[32];
      snprintf(name, sizeof name, "/print-%03d", number);
      std::string base = d.outDir + name;
      std::ofstream f(base + ".txt", std::ios::trunc | std::ios::binary);
      f << page.listing;
      f.close();
      if (!f || !pngWriteRgb(base + ".png", rgb.data(), kW, height))
        noteEvent("printer: cannot write " + base + ".png/.txt");
    }
    if (p.stripWanted) appendToStrip(p.strip, rgb, height);
    page.rgb = std::move(rgb);  // the strip (if kept) has its copy; the kept page takes this one
    p.kept.push_back(std::move(page));
    if (p.kept.size() > kMaxKeptPages) p.kept.erase(p.kept.begin());
    p.page.clear();  // a printed page is consumed
    noteEvent("printer: page " + std::to_string(number) + ", " + std::to_string(height) + " dots");
  }
  passTime(height * kMsPerDotRow);  // outside the lock: the script may run meanwhile
  return DLL_OK;
}

/* ---- sim:: interface ----------------------------------------------------------------------------------- */

namespace sim {

void setPaper(bool present) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  if (prn().paperOut == !present) return;
  prn().paperOut = !present;
  noteEvent(present ? "paper in" : "paper out");
}

bool paperPresent() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return !prn().paperOut;
}

std::vector<PrintedPage> printedPages() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return prn().kept;
}

int pagesPrinted() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return prn().printed;
}

void clearPaper() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Printer& p = prn();
  PaperStrip& s = p.strip;
  s.rgb.clear();
  s.height = 0;
  ++s.generation;
  p.stripWanted = true;  // from here on: the pages before stay cleared
}

}  // namespace sim
