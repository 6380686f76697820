/*
 * text.cpp - UTF-8 text shaped with HarfBuzz and rasterised with FreeType.
 *
 * Sections: script detection, fonts (one face per size, loaded once), shaping
 * (remembered per text and size), drawing (glyph images remembered per size).
 *
 * The terminal draws the same few hundred texts and glyphs over and over (every
 * screen, every receipt); shaping and hinting them again each time cost most
 * of a printed page, so both results are kept, keyed by what determines them.
 */
#include "text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb.h>

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "device.h"

namespace sim::detail {

/* ---- script detection -------------------------------------------------------------------- */

static bool arabicCodePoint(unsigned cp) {
  return (cp >= 0x0600 && cp <= 0x06FF) || (cp >= 0xFB50 && cp <= 0xFDFF) || (cp >= 0xFE70 && cp <= 0xFEFF);
}

bool textHasArabicScript(const std::string& utf8) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  size_t n = utf8.size();
  for (size_t i = 0; i < n;) {
    unsigned c = p[i];
    unsigned cp;
    size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      len = 4;
    } else {
      ++i;  // stray continuation or invalid lead byte
      continue;
    }
    if (i + len > n) break;
    bool ok = true;
    for (size_t k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (!ok) {
      ++i;
      continue;
    }
    if (arabicCodePoint(cp)) return true;
    i += len;
  }
  return false;
}

/* ---- fonts ------------------------------------------------------------------------------------- */

static const int kPixelSizes[4] = {0, 13, 16, 20};   // size codes 1..3 on a 320 x 240 screen
static const int kLineHeights[4] = {0, 22, 28, 34};  // a size-3 line fits the 34-pixel row grid
constexpr int kMinPixels = 4, kMaxPixels = 96;      // faces are made for sizes in this range only

static int clampSize(int sizeCode) { return sizeCode < 1 ? 1 : sizeCode > 3 ? 3 : sizeCode; }
static int clampPixels(int px) { return px < kMinPixels ? kMinPixels : px > kMaxPixels ? kMaxPixels : px; }
int textLineHeight(int sizeCode) { return kLineHeights[clampSize(sizeCode)]; }

// One face per pixel size (the LCD uses three, the printer two more), made on
// first use and kept for the life of the process.
// One shaped glyph; positions in 26.6, in visual order left to right.
struct ShapedGlyph {
  unsigned glyph;
  int xAdvance, xOffset, yOffset;
};

struct ShapedText {
  std::vector<ShapedGlyph> glyphs;
  int widthPx = 0;
};

// A rendered glyph: its grey bitmap (empty when it has no grey image) and where it sits.
struct GlyphImage {
  bool loaded = false;  // FT_Load_Glyph succeeded
  int left = 0, top = 0;
  int width = 0, rows = 0;
  std::vector<unsigned char> gray;  // rows * width coverage values
};

// Both caches are emptied when they reach these sizes: a bound, not an eviction policy,
// since the texts a terminal shows are few.
constexpr size_t kMaxShapedTexts = 8192, kMaxGlyphImages = 16384;

struct Fonts {
  std::string path;
  bool broken = false;  // the font at path could not be loaded
  FT_Library library = nullptr;
  FT_Face faces[kMaxPixels + 1] = {};
  hb_font_t* hb[kMaxPixels + 1] = {};
  // What each face has shaped and rendered: it goes with the face.
  std::unordered_map<std::string, ShapedText> shaped[kMaxPixels + 1];
  std::unordered_map<unsigned, GlyphImage> glyphs[kMaxPixels + 1];  // by glyph index
  size_t shapedCount = 0, glyphCount = 0;
};

static Fonts& fonts() {
  static Fonts* f = new Fonts();
  return *f;
}

static bool loadFace(int px) {
  Fonts& f = fonts();
  std::string path = fontPath();
  if (path != f.path) {  // the font was switched: forget every face of the old one
    for (int i = 0; i <= kMaxPixels; ++i) {
      if (f.hb[i]) hb_font_destroy(f.hb[i]);
      if (f.faces[i]) FT_Done_Face(f.faces[i]);
      f.hb[i] = nullptr;
      f.faces[i] = nullptr;
      f.shaped[i].clear();
      f.glyphs[i].clear();
    }
    f.shapedCount = 0;
    f.glyphCount = 0;
    f.path = path;
    f.broken = false;
  }
  if (f.faces[px]) return true;
  if (f.broken) return false;
  if (!f.library && FT_Init_FreeType(&f.library) != 0) {
    f.library = nullptr;
    return false;
  }
  FT_Face face = nullptr;
  if (FT_New_Face(f.library, path.c_str(), 0, &face) != 0) {
    fprintf(stderr, "sim: cannot load the font %s (run scripts/setup, or set SIM_FONT)\n", path.c_str());
    f.broken = true;
    return false;
  }
  FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(px));
  f.faces[px] = face;
  f.hb[px] = hb_ft_font_create_referenced(face);
  hb_ft_font_set_load_flags(f.hb[px], FT_LOAD_DEFAULT);
  return true;
}

/* ---- shaping ------------------------------------------------------------------------------------- */

// Shapes utf8 at px, or finds it shaped before; null when the font cannot be loaded.
static const ShapedText* shape(const std::string& utf8, int px) {
  if (!loadFace(px)) return nullptr;
  Fonts& f = fonts();
  auto found = f.shaped[px].find(utf8);
  if (found != f.shaped[px].end()) return &found->second;
  if (f.shapedCount >= kMaxShapedTexts) {
    for (auto& m : f.shaped) m.clear();
    f.shapedCount = 0;
  }
  hb_buffer_t* buf = hb_buffer_create();
  hb_buffer_add_utf8(buf, utf8.data(), static_cast<int>(utf8.size()), 0, static_cast<int>(utf8.size()));
  if (textHasArabicScript(utf8)) {
    hb_buffer_set_direction(buf, HB_DIRECTION_RTL);
    hb_buffer_set_script(buf, HB_SCRIPT_ARABIC);
    hb_buffer_set_language(buf, hb_language_from_string("fa", -1));
  } else {
    hb_buffer_guess_segment_properties(buf);
    hb_buffer_set_direction(buf, HB_DIRECTION_LTR);
  }
  hb_shape(f.hb[px], buf, nullptr, 0);
  unsigned count = 0;
  hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buf, &count);
  hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buf, &count);
  ShapedText out;
  out.glyphs.reserve(count);
  long advance = 0;
  for (unsigned i = 0; i < count; ++i) {
    out.glyphs.push_back(ShapedGlyph{info[i].codepoint, pos[i].x_advance, pos[i].x_offset, pos[i].y_offset});
    advance += pos[i].x_advance;
  }
  out.widthPx = static_cast<int>((advance + 32) >> 6);
  hb_buffer_destroy(buf);
  ++f.shapedCount;
  return &f.shaped[px].emplace(utf8, std::move(out)).first->second;
}

bool textMeasure(const std::string& utf8, int sizeCode, int* width) {
  return textMeasurePx(utf8, kPixelSizes[clampSize(sizeCode)], width);
}

bool textMeasurePx(const std::string& utf8, int pixelSize, int* width) {
  const ShapedText* shaped = shape(utf8, clampPixels(pixelSize));
  if (!shaped) return false;
  *width = shaped->widthPx;
  return true;
}

/* ---- drawing ---------------------------------------------------------------------------------------- */

// (x, y) lies on the canvas.
static void blend(Canvas c, int x, int y, unsigned rgb, unsigned alpha) {
  unsigned char* p = c.rgb + (static_cast<size_t>(y) * c.width + x) * 3;
  const unsigned src[3] = {(rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF};
  for (int k = 0; k < 3; ++k) p[k] = static_cast<unsigned char>((src[k] * alpha + p[k] * (255 - alpha) + 127) / 255);
}

bool textDraw(Canvas canvas, const std::string& utf8, int sizeCode, int penX, int top, unsigned rgb) {
  int s = clampSize(sizeCode);
  return textDrawPx(canvas, utf8, kPixelSizes[s], penX, top, kLineHeights[s], rgb);
}

// The rendered image of glyph at px, made on first use (the face at px is loaded).
static const GlyphImage& glyphImage(int px, unsigned glyph) {
  Fonts& f = fonts();
  auto found = f.glyphs[px].find(glyph);
  if (found != f.glyphs[px].end()) return found->second;
  if (f.glyphCount >= kMaxGlyphImages) {
    for (auto& m : f.glyphs) m.clear();
    f.glyphCount = 0;
  }
  GlyphImage img;
  FT_Face face = f.faces[px];
  if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER) == 0) {
    img.loaded = true;
    const FT_GlyphSlot g = face->glyph;
    const FT_Bitmap& bm = g->bitmap;
    img.left = g->bitmap_left;
    img.top = g->bitmap_top;
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
      img.width = static_cast<int>(bm.width);
      img.rows = static_cast<int>(bm.rows);
      img.gray.resize(static_cast<size_t>(img.width) * img.rows);
      for (int r = 0; r < img.rows; ++r)
        for (int col = 0; col < img.width; ++col)
          img.gray[static_cast<size_t>(r) * img.width + col] = bm.buffer[static_cast<long>(r) * bm.pitch + col];
    }
  }
  ++f.glyphCount;
  return f.glyphs[px].emplace(glyph, std::move(img)).first->second;
}

bool textDrawPx(Canvas canvas, const std::string& utf8, int pixelSize, int penX, int top, int boxHeight,
                unsigned rgb) {
  int px = clampPixels(pixelSize);
  const ShapedText* shaped = shape(utf8, px);
  if (!shaped) return false;
  FT_Face face = fonts().faces[px];
  // Centre the font's ascent..descent span in the line box.
  int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
  int descent = static_cast<int>(-face->size->metrics.descender >> 6);
  int baseline = top + (boxHeight - (ascent + descent)) / 2 + ascent;

  long pen = static_cast<long>(penX) * 64;
  for (const ShapedGlyph& sg : shaped->glyphs) {
    const GlyphImage& img = glyphImage(px, sg.glyph);
    if (img.loaded) {
      int gx = static_cast<int>((pen + sg.xOffset + 32) >> 6) + img.left;
      int gy = baseline - static_cast<int>((sg.yOffset + 32) >> 6) - img.top;
      // Clipped to the canvas once per glyph, not tested per pixel: the idle
      // screen redraws its lines often.
      const int r0 = std::max(0, -gy), r1 = std::min(img.rows, canvas.height - gy);
      const int c0 = std::max(0, -gx), c1 = std::min(img.width, canvas.width - gx);
      for (int r = r0; r < r1; ++r) {
        const unsigned char* alpha = img.gray.data() + static_cast<size_t>(r) * img.width;
        for (int col = c0; col < c1; ++col)
          if (alpha[col] != 0) blend(canvas, gx + col, gy + r, rgb, alpha[col]);
      }
    }
    pen += sg.xAdvance;
  }
  return true;
}

}  // namespace sim::detail
