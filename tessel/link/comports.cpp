// COMn to device path mapping (see comports.h for the lookup order).
#include "comports.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr size_t kMapFileMax = 64 * 1024;  // a map file is a few lines; ignore more

bool copyOut(const char* from, size_t len, char* out, size_t outSize) {
  if (len == 0 || len >= outSize) return false;
  std::memcpy(out, from, len);
  out[len] = '\0';
  return true;
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

bool comPortFromMapText(const char* text, unsigned number, char* out, size_t outSize) {
  const char* p = text;
  while (*p) {
    const char* end = std::strchr(p, '\n');
    const size_t lineLen = end ? static_cast<size_t>(end - p) : std::strlen(p);
    std::string line(p, lineLen);
    p += lineLen + (end ? 1 : 0);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    size_t start = 0;
    while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start]))) ++start;
    line.erase(0, start);
    if (line.empty() || line[0] == '#') continue;
    if (line.size() < 5 || std::toupper(static_cast<unsigned char>(line[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(line[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(line[2])) != 'M')
      continue;
    size_t i = 3;
    unsigned n = 0;
    size_t digits = 0;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) && digits < 4) {
      n = n * 10 + static_cast<unsigned>(line[i] - '0');
      ++i;
      ++digits;
    }
    while (i < line.size() && line[i] == ' ') ++i;
    if (digits == 0 || i >= line.size() || line[i] != '=' || n != number) continue;
    ++i;
    while (i < line.size() && line[i] == ' ') ++i;
    return copyOut(line.c_str() + i, line.size() - i, out, outSize);
  }
  return false;
}

bool comPortDevice(unsigned number, char* out, size_t outSize) {
  if (number < 1 || number > 255 || outSize == 0) return false;
#ifdef _WIN32
  const int n = std::snprintf(out, outSize, "\\\\.\\COM%u", number);
  return n > 0 && static_cast<size_t>(n) < outSize;
#else
  char var[32];
  std::snprintf(var, sizeof var, "TESSEL_COM%u", number);
  if (const char* env = std::getenv(var); env && *env) return copyOut(env, std::strlen(env), out, outSize);

  const char* mapPath = std::getenv("TESSEL_PORTMAP");
  if (!mapPath || !*mapPath) mapPath = "comports.map";
  if (std::unique_ptr<FILE, FileCloser> f{std::fopen(mapPath, "r")}) {
    std::string text(kMapFileMax, '\0');
    const size_t got = std::fread(text.data(), 1, kMapFileMax - 1, f.get());
    text.resize(got);
    if (comPortFromMapText(text.c_str(), number, out, outSize)) return true;
  }
  const int n = std::snprintf(out, outSize, "/dev/ttyS%u", number - 1);
  return n > 0 && static_cast<size_t>(n) < outSize;
#endif
}
