// The command line end to end: the tessel program against the bootsim
// program, and its exit statuses.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

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
  EXPECT_EQ(run(std::string(TESSEL_BIN) + " --port /nonexistent/tty --app x").status, 3);
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

TEST_F(CommandLine, HelpListsTheExitStatuses) {
  const Outcome r = run(std::string(TESSEL_BIN) + " --help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("11  the boot loader reported a flash write fault"), std::string::npos);
}
