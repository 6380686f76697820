/*
 * image.cpp - pictures for the LCD: PNG through libpng, BMP (24- and 32-bit,
 * uncompressed) through our own bounded reader, and writers for both.
 *
 * Sections: limits, loading by content, BMP reading, writing.
 */
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "device.h"

namespace sim::detail {

/* ---- limits ------------------------------------------------------------------------------------ */

constexpr int kMaxSide = 4096;                    // larger pictures are refused, not allocated
constexpr size_t kMaxFileBytes = 64u << 20;

/* ---- loading by content ----------------------------------------------------------------------------- */

static bool readFile(const std::string& path, std::vector<unsigned char>* out, std::string* error) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    *error = "cannot open " + path;
    return false;
  }
  f.seekg(0, std::ios::end);
  std::streamoff size = f.tellg();
  if (size < 0 || static_cast<unsigned long long>(size) > kMaxFileBytes) {
    *error = path + " is too large";
    return false;
  }
  f.seekg(0);
  out->resize(static_cast<size_t>(size));
  if (size > 0 && !f.read(reinterpret_cast<char*>(out->data()), size)) {
    *error = "cannot read " + path;
    return false;
  }
  return true;
}

static bool pngDecode(const std::vector<unsigned char>& data, Image* out, std::string* error) {
  png_image img;
  memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, data.data(), data.size())) {
    *error = std::string("PNG: ") + img.message;
    return false;
  }
  if (img.width == 0 || img.height == 0 || img.width > kMaxSide || img.height > kMaxSide) {
    png_image_free(&img);
    *error = "PNG: size out of range";
    return false;
  }
  img.format = PNG_FORMAT_RGBA;
  out->width = static_cast<int>(img.width);
  out->height = static_cast<int>(img.height);
  out->rgba.assign(PNG_IMAGE_SIZE(img), 0);
  if (!png_image_finish_read(&img, nullptr, out->rgba.data(), 0, nullptr)) {
    *error = std::string("PNG: ") + img.message;
    png_image_free(&img);
    return false;
  }
  return true;
}

bool imageLoad(const std::string& path, Image* out, std::string* error) {
  std::vector<unsigned char> data;
  if (!readFile(path, &data, error)) return false;
  static const unsigned char kPngSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (data.size() >= 8 && memcmp(data.data(), kPngSig, 8) == 0) return pngDecode(data, out, error);
  if (data.size() >= 2 && data[0] == 'B' && data[1] == 'M') return bmpDecode(data.data(), data.size(), out, error);
  *error = path + " is neither PNG nor BMP";
  return false;
}

/* ---- BMP reading ------------------------------------------------------------------------------------- */

static unsigned le16(const unsigned char* p) { return p[0] | p[1] << 8; }
static unsigned le32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<unsigned>(p[3]) << 24;
}

bool bmpDecode(const unsigned char* data, size_t size, Image* out, std::string* error) {
  // 14-byte file header, then an info header of at least 40 bytes.
  if (size < 54 || data[0] != 'B' || data[1] != 'M') {
    *error = "BMP: truncated header";
    return false;
  }
  unsigned pixelOffset = le32(data + 10);
  unsigned infoSize = le32(data + 14);
  if (infoSize < 40 || infoSize > size - 14) {
    *error = "BMP: unsupported info header";
    return false;
  }
  int width = static_cast<int>(le32(data + 18));
  int rawHeight = static_cast<int>(le32(data + 22));
  unsigned planes = le16(data + 26), bpp = le16(data + 28), compression = le32(data + 30);
  if (planes != 1 || (bpp != 24 && bpp != 32)) {
    *error = "BMP: only 24- and 32-bit pictures are read";
    return false;
  }
  // BI_RGB, or BI_BITFIELDS with the usual 32-bit layout (masks checked below).
  if (compression != 0 && !(compression == 3 && bpp == 32)) {
    *error = "BMP: compressed pictures are not read";
    return false;
  }
  bool topDown = rawHeight < 0;
  if (rawHeight == INT32_MIN) {
    *error = "BMP: size out of range";
    return false;
  }
  int height = topDown ? -rawHeight : rawHeight;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
    *error = "BMP: size out of range";
    return false;
  }
  if (compression == 3) {
    if (size < 14 + 52) {
      *error = "BMP: truncated masks";
      return false;
    }
    if (le32(data + 54) != 0x00FF0000u || le32(data + 58) != 0x0000FF00u || le32(data + 62) != 0x000000FFu) {
      *error = "BMP: unsupported channel masks";
      return false;
    }
  }
  size_t bytesPerPixel = bpp / 8;
  size_t stride = (static_cast<size_t>(width) * bytesPerPixel + 3) & ~static_cast<size_t>(3);
  if (pixelOffset < 14 + infoSize || pixelOffset > size || stride * height > size - pixelOffset) {
    *error = "BMP: pixel data out of the file";
    return false;
  }
  // 32-bit pictures often leave the fourth byte 0; treat it as alpha only when some pixel uses it.
  bool useAlpha = false;
  if (bpp == 32) {
    for (int r = 0; r < height && !useAlpha; ++r) {
      const unsigned char* row = data + pixelOffset + stride * r;
      for (int c = 0; c < width; ++c)
        if (row[c * 4 + 3] != 0) {
          useAlpha = true;
          break;
        }
    }
  }
  out->width = width;
  out->height = height;
  out->rgba.assign(static_cast<size_t>(width) * height * 4, 0);
  for (int r = 0; r < height; ++r) {
    const unsigned char* row = data + pixelOffset + stride * (topDown ? r : height - 1 - r);
    unsigned char* dst = &out->rgba[static_cast<size_t>(r) * width * 4];
    for (int c = 0; c < width; ++c) {
      const unsigned char* px = row + c * bytesPerPixel;
      dst[c * 4 + 0] = px[2];
      dst[c * 4 + 1] = px[1];
      dst[c * 4 + 2] = px[0];
      dst[c * 4 + 3] = useAlpha ? px[3] : 255;
    }
  }
  return true;
}

/* ---- writing ---------------------------------------------------------------------------------------------- */

bool pngWriteRgb(const std::string& path, const unsigned char* rgb, int width, int height) {
  png_image img;
  memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = static_cast<png_uint_32>(width);
  img.height = static_cast<png_uint_32>(height);
  img.format = PNG_FORMAT_RGB;
  // Speed over size: start-up writes the default pictures and headless runs a picture per screen and page.
  img.flags = PNG_IMAGE_FLAG_FAST;
  // Write beside the target and rename, so a reader never sees half a picture.
  std::string tmp = path + ".tmp";
  if (!png_image_write_to_file(&img, tmp.c_str(), 0, rgb, width * 3, nullptr)) {
    remove(tmp.c_str());
    return false;
  }
  return rename(tmp.c_str(), path.c_str()) == 0;
}

static void put16(std::vector<unsigned char>& v, unsigned x) {
  v.push_back(static_cast<unsigned char>(x));
  v.push_back(static_cast<unsigned char>(x >> 8));
}
static void put32(std::vector<unsigned char>& v, unsigned x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}

bool bmpWriteRgb(const std::string& path, const unsigned char* rgb, int width, int height) {
  size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  std::vector<unsigned char> v;
  unsigned pixels = static_cast<unsigned>(stride * height);
  v.push_back('B');
  v.push_back('M');
  put32(v, 54 + pixels);
  put32(v, 0);
  put32(v, 54);
  put32(v, 40);
  put32(v, static_cast<unsigned>(width));
  put32(v, static_cast<unsigned>(height));  // bottom-up
  put16(v, 1);
  put16(v, 24);
  put32(v, 0);
  put32(v, pixels);
  put32(v, 2835);  // 72 dpi
  put32(v, 2835);
  put32(v, 0);
  put32(v, 0);
  for (int r = height - 1; r >= 0; --r) {
    const unsigned char* row = rgb + static_cast<size_t>(r) * width * 3;
    for (int c = 0; c < width; ++c) {
      v.push_back(row[c * 3 + 2]);
      v.push_back(row[c * 3 + 1]);
      v.push_back(row[c * 3 + 0]);
    }
    for (size_t pad = static_cast<size_t>(width) * 3; pad < stride; ++pad) v.push_back(0);
  }
  std::string tmp = path + ".tmp";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    if (!f.write(reinterpret_cast<const char*>(v.data()), static_cast<std::streamsize>(v.size()))) return false;
  }
  return rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace sim::detail
