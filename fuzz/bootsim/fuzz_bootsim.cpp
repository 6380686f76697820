// Fuzzes what bootsim reads from the line: the packet reader in both
// framings, and the whole loader (wake-up bytes, opcode table, image blocks)
// fed the same bytes without a pseudo-terminal. The first input byte picks
// the framing; odd inputs also go through the loader.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bootsim.h"
#include "wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool crc = data[0] & 1;
  const bool loader = data[0] & 2;
  ++data;
  --size;

  bootwire::PacketReader reader;
  reader.framing = crc ? bootwire::Framing::Crc32 : bootwire::Framing::Xor;
  static uint8_t again[bootwire::kMaxPacketBytes];
  for (size_t i = 0; i < size; ++i) {
    if (reader.push(data[i]) != bootwire::PacketReader::Result::Packet) continue;
    // An accepted packet is within the limit and written back the same way.
    if (reader.payloadSize() > bootwire::kMaxPayload) __builtin_trap();
    const size_t n = bootwire::writePacket(reader.framing, reader.command(), reader.payload(), reader.payloadSize(),
                                           again, sizeof again);
    if (n == 0 || n > i + 1 || std::memcmp(again, data + i + 1 - n, n) != 0) __builtin_trap();
  }

  if (loader) {
    BootSimOptions o;
    o.qReply = crc ? 'P' : 'R';
    o.refuseBlock = 2;
    o.refuseTimes = 1;
    o.corruptBlock = 3;
    BootSim sim(o);
    sim.receive(data, size);
    const BootSimReport r = sim.report();
    if (r.bootImage.size() > size || r.appImage.size() > size) __builtin_trap();
  }
  return 0;
}
