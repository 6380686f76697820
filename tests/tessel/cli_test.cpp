// The command line end to end: the tessel program against the bootsim
// program, and its exit statuses.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "cli.h"

namespace {

struct Outcome {
  int status;
  std::string out;
};

Outcome run(const std::string& cmd) {
  Outcome r{-1, {}};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tessel-cli-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    if (simPid > 0) {
      kill(simPid, SIGTERM);
      waitpid(simPid, nullptr, 0);
    }
    ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
  }
  // Starts the bootsim program and returns the device path it prints.
  std::string startSim(const std::string& args) {
    const std::string pathFile = dir + "/path";
    simPid = fork();
    if (simPid == 0) {
      const std::string cmd = std::string(BOOTSIM_BIN) + " --out '" + dir + "' --path-file '" + pathFile + "' " +
                              args + " >/dev/null";
      execl("/bin/sh", "sh", "-c", ("exec " + cmd).c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 500; ++i) {
      std::ifstream f(pathFile);
      std::string path;
      if (std::getline(f, path) && !path.empty()) return path;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
  }
  std::string makeImage(const char* name, size_t n) {
    const std::string path = dir + "/" + name;
    std::ofstream f(path, std::ios::binary);
    for (size_t i = 0; i < n; ++i) f.put(static_cast<char>((i * 7 + 3) & 0xFF));
    return path;
  }
  std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  std::string dir;
  pid_t simPid = -1;
};

}  // namespace

TEST_F(CommandLine, FlashesBothImagesIntoBootsimAndExitsZero) {
  const std::string port = startSim("--t-reply S --q-reply P");
  ASSERT_FALSE(port.empty());
  const std::string boot = makeImage("boot.src", 8192), app = makeImage("app.src", 1025);
  const Outcome r = run(std::string(TESSEL_BIN) + " --port " + port + " --boot " + boot + " --app " + app);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Download APP...49%\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Download finish.\n"), std::string::npos);
  EXPECT_EQ(slurp(dir + "/boot.bin"), slurp(boot));
  EXPECT_EQ(slurp(dir + "/app.bin"), slurp(app));
}

TEST_F(CommandLine, ComNumberGoesThroughTheEnvironmentMap) {
  const std::string port = startSim("");
  ASSERT_FALSE(port.empty());
  const std::string app = makeImage("app.src", 600);
  const Outcome r = run("TESSEL_COM7=" + port + " " + TESSEL_BIN + " --port COM7 --app " + app);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(slurp(dir + "/app.bin"), slurp(app));
}

TEST_F(CommandLine, EachFailureHasItsOwnExitStatus) {
  EXPECT_EQ(run(std::string(TESSEL_BIN) + " --app x 2>/dev/null").status, 2);
  EXPECT_EQ(run(std::string(TESSEL_BIN) + " --port /dev/null/x 2>/dev/null").status, 2);
  const std::string image = makeImage("ok.bin", 100);
  const Outcome noPort = run(std::string(TESSEL_BIN) + " --port /nonexistent/tty --app " + image + " 2>&1");
  EXPECT_EQ(noPort.status, 3);
  EXPECT_NE(noPort.out.find("Open serial port failed.\ntessel: cannot open /nonexistent/tty: No such file or directory"),
            std::string::npos)
      << noPort.out;
  const std::string port = startSim("--flash-fault 1");
  ASSERT_FALSE(port.empty());
  const Outcome small = run(std::string(TESSEL_BIN) + " --port " + port + " --boot " + makeImage("s.bin", 100));
  EXPECT_EQ(small.status, 8);
  EXPECT_NE(small.out.find("boot file size error(<4096 bytes)"), std::string::npos);
  const Outcome fault = run(std::string(TESSEL_BIN) + " --port " + port + " --app " + makeImage("a.bin", 100));
  EXPECT_EQ(fault.status, 11);
  EXPECT_NE(fault.out.find("Write flash fault."), std::string::npos);
  EXPECT_EQ(run(std::string(TESSEL_BIN) + " --port " + port + " --app " + dir + "/missing").status, 6);
}

// An empty port used to open COM1's device; bad time-outs were not checked.
TEST_F(CommandLine, EmptyPortAndBadWakeTimeOutAreUsageErrors) {
  const std::string image = makeImage("ok.bin", 100);
  const Outcome empty = run(std::string(TESSEL_BIN) + " --port '' --app " + image + " 2>&1");
  EXPECT_EQ(empty.status, 2);
  EXPECT_NE(empty.out.find("--port needs a device path or COMn"), std::string::npos) << empty.out;
  EXPECT_EQ(empty.out.find("Connecting"), std::string::npos);
  for (const char* bad : {"0", "-1", "abc", "5s", "86401", ""}) {
    EXPECT_EQ(run(std::string(TESSEL_BIN) + " --port /dev/null --wake-timeout '" + bad + "' --app " + image +
                  " 2>/dev/null")
                  .status,
              2)
        << bad;
  }
}

TEST_F(CommandLine, SilentLoaderEndsAfterTheWakeTimeOutWithItsStatus) {
  const std::string port = startSim("--silent");
  ASSERT_FALSE(port.empty());
  const auto start = std::chrono::steady_clock::now();
  const Outcome r =
      run(std::string(TESSEL_BIN) + " --port " + port + " --wake-timeout 1 --app " + makeImage("a.bin", 10) + " 2>&1");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.out.find("Handshack failed.\ntessel: the boot loader did not answer the wake-up within 1.0 s"),
            std::string::npos)
      << r.out;
}

TEST_F(CommandLine, RefusedBlockHasItsOwnStatusAndWords) {
  const std::string port = startSim("--refuse-block 1:9");
  ASSERT_FALSE(port.empty());
  const Outcome r = run(std::string(TESSEL_BIN) + " --port " + port + " --app " + makeImage("a.bin", 10) + " 2>&1");
  EXPECT_EQ(r.status, 13);
  EXPECT_NE(r.out.find("Receive timeout!\ntessel: the boot loader refused block 1 on all 9 sends"), std::string::npos)
      << r.out;
}

// bootsim used to start with a missing folder and drop every image.
TEST_F(CommandLine, BootsimCreatesItsOutputFolderOrRefusesToStart) {
  const std::string nested = dir + "/new/flashed";
  simPid = fork();
  if (simPid == 0) {
    execl(BOOTSIM_BIN, BOOTSIM_BIN, "--out", nested.c_str(), "--path-file", (dir + "/path").c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string port;
  for (int i = 0; i < 500 && port.empty(); ++i) {
    std::ifstream f(dir + "/path");
    std::getline(f, port);
    if (port.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_FALSE(port.empty());
  const std::string app = makeImage("app.src", 700);
  EXPECT_EQ(run(std::string(TESSEL_BIN) + " --port " + port + " --app " + app).status, 0);
  EXPECT_EQ(slurp(nested + "/app.bin"), slurp(app));

  const std::string file = makeImage("plain", 1);
  const Outcome refused = run(std::string(BOOTSIM_BIN) + " --out " + file + " 2>&1");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.out.find("cannot use output folder"), std::string::npos) << refused.out;
}

TEST(ConsoleProgress, OneRewrittenLineOnATerminalAndATenthALineOtherwise) {
  for (const bool tty : {true, false}) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    ConsoleSink sink(out, out, tty);
    sink.status("Download QOS");
    const unsigned blocks = 40966;  // a 20 MB image
    for (unsigned b = 0; b < blocks; ++b) {
      char line[64];
      std::snprintf(line, sizeof line, "Download APP...%u%%", static_cast<unsigned>(uint64_t{b} * 100 / blocks));
      sink.status(line);
      sink.progress(static_cast<int>(uint64_t{b} * 100 / blocks));
    }
    sink.progress(100);
    sink.status("Download success.");
    std::fclose(out);
    const std::string s(text, size);
    std::free(text);
    const auto lines = std::count(s.begin(), s.end(), '\n');
    if (tty) {
      EXPECT_EQ(lines, 3) << s.substr(0, 200);  // QOS, the progress line, success
      EXPECT_EQ(std::count(s.begin(), s.end(), '\r'), 100);  // rewritten once per percent
    } else {
      EXPECT_LE(lines, 2 + 10 + 1) << s.substr(0, 400);
      EXPECT_NE(s.find("Download APP...0%\nDownload APP...10%\n"), std::string::npos) << s;
      EXPECT_NE(s.find("Download APP...90%\nprogress 100%\nDownload success.\n"), std::string::npos) << s;
    }
  }
}

TEST_F(CommandLine, HelpListsTheExitStatuses) {
  const Outcome r = run(std::string(TESSEL_BIN) + " --help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("11  the boot loader reported a flash write fault"), std::string::npos);
}
