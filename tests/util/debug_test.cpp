// Diagnostic lines as they land in a file (the simulator's standard output).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "util/Debug.h"

namespace {

TEST(DebugLines, EachLineEndsWithANewlineSoAFileReadsLineByLine) {
  char path[] = "/tmp/saffron-debug-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  ASSERT_EQ(dup2(fd, STDOUT_FILENO), STDOUT_FILENO);
  const int before = hasDebug;
  hasDebug = 1;
  USB_printf2("first %d", 1);
  USB_printf2("second");
  const unsigned char bytes[2] = {0xAB, 0x01};
  USB_printfEx(bytes, 2);
  hasDebug = before;
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  close(fd);
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  std::remove(path);
  EXPECT_EQ(s.str(), "first 1\r\nsecond\r\nAB01\r\n");
}

}  // namespace
