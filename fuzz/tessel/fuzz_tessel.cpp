// Fuzzes what tessel reads from outside: packets from the serial line (both
// framings, through the real receive state machine), the settings file and
// the COM-port map. The first input byte picks the target.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "comports.h"
#include "packet.h"
#include "serial.h"
#include "settings.h"

namespace {

// Serves the input as the line's bytes; once drained, reads fault so the
// receive ends at once instead of waiting out its time limit.
class InputTransport final : public SerialTransport {
 public:
  SerialOpenResult open(const char*, uint32_t, uint32_t*) override { return SerialOpenResult::Ok; }
  void close() override {}
  bool isOpen() const override { return true; }
  bool write(const uint8_t*, size_t) override { return true; }
  long read(uint8_t* buf, size_t count, uint32_t) override {
    if (pos >= size) return -1;
    const size_t n = count < size - pos ? count : size - pos;
    std::memcpy(buf, data + pos, n);
    pos += n;
    return static_cast<long>(n);
  }
  void clearError() override {}
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
};

void quietBox(const char*, const char*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t target = data[0] % 4;
  ++data;
  --size;
  if (target <= 1) {
    static InputTransport transport;
    transport.data = data;
    transport.size = size;
    transport.pos = 0;
    serialSetTransport(&transport);
    linkSetBoxHook(quietBox);
    static uint8_t buf[kMaxPacket];
    // Several packets may sit back to back; read until the input runs dry.
    for (int i = 0; i < 64 && transport.pos < transport.size; ++i) {
      size_t total = 0;
      const int framing = target == 0 ? kFramingXor : kFramingCrc;
      const int r = recvPacket(framing, buf, sizeof buf, 0, &total);
      if (r == LINK_OK && (total > sizeof buf || total != packetSize(framing, (size_t{buf[2]} << 8) | buf[3])))
        __builtin_trap();
    }
    serialSetTransport(nullptr);
  } else if (target == 2) {
    TesselSettings rec;
    settingsDefaults(&rec);
    if (settingsDecode(data, size, &rec)) {
      // Whatever was read must encode and decode to the same record.
      const std::string again = settingsEncode(rec);
      TesselSettings back;
      if (!settingsDecode(reinterpret_cast<const uint8_t*>(again.data()), again.size(), &back) ||
          std::memcmp(&rec, &back, sizeof rec) != 0)
        __builtin_trap();
      (void)settingsText(rec.bootPath, sizeof rec.bootPath);
    }
  } else {
    const std::string text(reinterpret_cast<const char*>(data), size);
    char out[64];
    for (unsigned n : {1u, 3u, 20u, 255u}) {
      if (comPortFromMapText(text.c_str(), n, out, sizeof out) && std::strlen(out) >= sizeof out) __builtin_trap();
    }
  }
  return 0;
}
