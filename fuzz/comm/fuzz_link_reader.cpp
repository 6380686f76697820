// fuzz_link_reader: the bytes of one input arrive from the peer of a socket
// pair, which then closes; the frame reader must return a status and never write
// past the buffer it was given (its size comes from the first input byte).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "comm/communication.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  mid_tcpInit();
  mid_tcpSetWaitMs(20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const int bufSize = 1 + data[0] * 4;  // 1 .. 1021 bytes
  ++data;
  --size;
  if (size > 16384) size = 16384;  // stays within the socket buffer, so the write never blocks

  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 0;
  int sndbuf = 65536;
  setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
  if (size > 0 && write(pair[1], data, size) < 0) {
    close(pair[0]);
    close(pair[1]);
    return 0;
  }
  close(pair[1]);

  sockfd = pair[0];
  std::vector<unsigned char> buf(static_cast<std::size_t>(bufSize));
  int len = -1;
  const int status = mid_tcpRead(buf.data(), &len, bufSize);
  if (status == 0 && len != -1 && (len < 2 || len > bufSize)) __builtin_trap();
  if (status != 0 && len != -1) __builtin_trap();  // a failed read reports no length
  mid_tcpClose();
  return 0;
}
