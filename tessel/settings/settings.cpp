// config.qcf: defaults, the text-mode byte translation, load and save.
#include "settings.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

TesselSettings settings;

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Enough for a record whose every byte is 0x0A, plus slack for a longer file.
constexpr size_t kReadMax = 2 * kSettingsSize + 64;

}  // namespace

void settingsDefaults(TesselSettings* rec) {
  std::memset(rec, 0, sizeof *rec);
  std::memcpy(rec->value3129, kValue3129Default, sizeof rec->value3129);
  rec->marker3138[0] = 0xFF;
  rec->marker3138[1] = 0xFF;
  rec->version[0] = 0x00;
  rec->version[1] = 0x01;
}

std::string settingsEncode(const TesselSettings& rec) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&rec);
  std::string out;
  out.reserve(kSettingsSize + 64);
  for (size_t i = 0; i < kSettingsSize; ++i) {
    if (bytes[i] == 0x0A) out.push_back('\x0D');
    out.push_back(static_cast<char>(bytes[i]));
  }
  return out;
}

bool settingsDecode(const uint8_t* file, size_t size, TesselSettings* rec) {
  uint8_t record[kSettingsSize];
  size_t n = 0;
  for (size_t i = 0; i < size && n < kSettingsSize; ++i) {
    if (file[i] == 0x0D && i + 1 < size && file[i + 1] == 0x0A) continue;  // the pair reads as 0x0A
    record[n++] = file[i];
  }
  if (n < kSettingsSize) return false;
  std::memcpy(rec, record, kSettingsSize);
  return true;
}

SettingsLoad loadSettings(const char* path, TesselSettings* rec) {
  settingsDefaults(rec);
  if (FilePtr f{std::fopen(path, "rb")}) {
    std::vector<uint8_t> data(kReadMax);
    const size_t got = std::fread(data.data(), 1, data.size(), f.get());
    TesselSettings read{};
    // A short file is as unusable as a wrong version: half a record would
    // mix stale fields with defaults.
    if (!settingsDecode(data.data(), got, &read) || read.version[0] != 0x00 || read.version[1] != 0x01)
      return SettingsLoad::Reset;
    *rec = read;
    return SettingsLoad::Loaded;
  }
  return saveSettings(path, *rec) ? SettingsLoad::Created : SettingsLoad::CreateFailed;
}

bool saveSettings(const char* path, const TesselSettings& rec) {
  const std::string bytes = settingsEncode(rec);
  // Written beside the file and renamed over it, so a crash mid-write leaves
  // the old settings rather than a torn record.
  const std::string tmp = std::string(path) + ".tmp";
  {
    FilePtr f{std::fopen(tmp.c_str(), "wb")};
    if (!f) return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size() || std::fflush(f.get()) != 0) {
      f.reset();
      std::remove(tmp.c_str());
      return false;
    }
  }
#ifdef _WIN32
  std::remove(path);  // rename does not replace on Windows
#endif
  if (std::rename(tmp.c_str(), path) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

std::string settingsPathIn(const char* dir) {
#ifdef _WIN32
  const char sep = '\\';
#else
  const char sep = '/';
#endif
  std::string p = dir ? dir : ".";
  if (!p.empty() && p.back() != sep) p.push_back(sep);
  return p + kSettingsFileName;
}

std::string settingsText(const char* field, size_t size) {
  const void* nul = std::memchr(field, '\0', size);
  return std::string(field, nul ? static_cast<const char*>(nul) - field : size);
}

void settingsSetText(char* field, size_t size, const std::string& value) {
  const size_t n = value.size() < size ? value.size() : size - 1;
  std::memcpy(field, value.data(), n);
  std::memset(field + n, 0, size - n);
}
