/*
 * The window front end: the demo terminal under a virtual X server (xvfb-run),
 * driven through the window's own keypad and keyboard, read back from the
 * screen; the key tables; and the fall-back when there is no display.
 */
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wx/defs.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "device.h"
#ifdef SAFFRON_PROGRAM
#include "process.h"
#endif
#include "libapi.h"
#include "sim_test_util.h"
#include "window.h"

namespace {

constexpr int kRunTimeoutS = 90;  // generous: sanitizers and a shared machine slow GTK's start

bool onPath(const std::string& program) {
  const char* path = getenv("PATH");
  std::stringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':'))
    if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  return false;
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = freshTestDir("simwin-"); }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs the demo terminal in dir_: under xvfb-run when `xvfb`, else as it is
  // (with DISPLAY removed). stdinText feeds standard input.
  Outcome run(bool xvfb, std::vector<std::string> simArgs, const std::string& stdinText = "") {
    std::ofstream(dir_ / "stdin.txt") << stdinText;
    std::vector<std::string> args;
    if (xvfb) args = {"xvfb-run", "-a", "-s", "-screen 0 1280x1024x24"};
    args.push_back(program_);
    for (const char* a : {"--sim-out", "out", "--sim-data", "data", "--sim-time", "20261207100000"})
      args.push_back(a);
    args.insert(args.end(), simArgs.begin(), simArgs.end());
    std::string errPath = (dir_ / "stderr.txt").string(), inPath = (dir_ / "stdin.txt").string();
    pid_t pid = fork();
    if (pid == 0) {
      setpgid(0, 0);  // xvfb-run and its server go with it on a timeout
      if (chdir(dir_.c_str()) != 0) _exit(120);
      if (!freopen(errPath.c_str(), "w", stderr)) _exit(121);
      if (!freopen(inPath.c_str(), "r", stdin)) _exit(122);
      setenv("NO_AT_BRIDGE", "1", 1);  // no accessibility bus under Xvfb
      if (!xvfb) unsetenv("DISPLAY");
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(123);
    }
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRunTimeoutS);
    for (;;) {
      pid_t r = waitpid(pid, &status, WNOHANG);
      if (r == pid) break;
      if (std::chrono::steady_clock::now() > deadline) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
        return Outcome{-1, readFile(errPath) + "\n(timed out)"};
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(errPath)};
  }

  std::filesystem::path dir_;
  std::string program_ = SIM_DEMO_PATH;
};

#define NEED_XVFB()                                                         \
  do {                                                                      \
    if (!onPath("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";   \
  } while (0)

// A window shot: the picture, the LCD frame it showed, and where that sits.
struct Shot {
  sim::detail::Image window, lcd;
  int winW = 0, winH = 0, lcdX = 0, lcdY = 0, lcdW = 0, lcdH = 0;
  int statusX = 0, statusY = 0, statusW = 0, statusH = 0;
  std::string listing;
};

::testing::AssertionResult loadShot(const std::filesystem::path& base, Shot* s) {
  std::string error;
  if (!sim::detail::imageLoad(base.string() + ".png", &s->window, &error))
    return ::testing::AssertionFailure() << "window picture: " << error;
  if (!sim::detail::imageLoad(base.string() + "-lcd.png", &s->lcd, &error))
    return ::testing::AssertionFailure() << "LCD frame: " << error;
  std::istringstream in(readFile(base.string() + ".txt"));
  std::string word;
  if (!(in >> word >> s->winW >> s->winH) || word != "window" ||
      !(in >> word >> s->lcdX >> s->lcdY >> s->lcdW >> s->lcdH) || word != "lcd" ||
      !(in >> word >> s->statusX >> s->statusY >> s->statusW >> s->statusH) || word != "status")
    return ::testing::AssertionFailure() << "the shot's .txt does not start with the window, lcd and status lines";
  std::getline(in, word);
  s->listing.assign(std::istreambuf_iterator<char>(in), {});
  return ::testing::AssertionSuccess();
}

unsigned rgbAt(const sim::detail::Image& img, int x, int y) {
  const unsigned char* p = &img.rgba[(static_cast<size_t>(y) * img.width + x) * 4];
  return static_cast<unsigned>(p[0]) << 16 | static_cast<unsigned>(p[1]) << 8 | p[2];
}

int darkPixels(const sim::detail::Image& img, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      unsigned p = rgbAt(img, x, y);
      if (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3 * 100) ++n;
    }
  return n;
}

// Every pixel of the LCD area on the screen is its LCD pixel, doubled with no
// smoothing; returns the first mismatch, or "" when they all agree.
std::string lcdMismatch(const Shot& s) {
  for (int y = 0; y < s.lcdH; ++y)
    for (int x = 0; x < s.lcdW; ++x) {
      unsigned want = rgbAt(s.lcd, x / 2, y / 2), got = rgbAt(s.window, s.lcdX + x, s.lcdY + y);
      if (want != got) {
        char buf[120];
        snprintf(buf, sizeof buf, "screen (%d,%d) is #%06X, LCD (%d,%d) is #%06X", s.lcdX + x, s.lcdY + y, got,
                 x / 2, y / 2, want);
        return buf;
      }
    }
  return "";
}

TEST_F(Window, KeypadClickAndSwipeShowOnTheScaledLcdAndCancelKeySwitchesOff) {
  NEED_XVFB();
  // Click 5 on the keypad, swipe the first test card, take a shot, then press
  // Esc on the keyboard: the demo shows "key 53" and the card's 33-character
  // track 2, and Cancel switches it off, which closes the window.
  Outcome r = run(true, {"--sim-window-click", "5", "800", "--sim-window-swipe", "1", "1100", "--sim-window-shot",
                         "shot.png", "1800", "--sim-window-type", "CANCEL", "2600"});
  ASSERT_EQ(r.status, 0) << r.err;

  Shot s;
  ASSERT_TRUE(loadShot(dir_ / "shot", &s));
  EXPECT_EQ(s.window.width, s.winW);
  EXPECT_EQ(s.window.height, s.winH);
  ASSERT_EQ(s.lcdW, 2 * DLL_LCD_WIDTH);
  ASSERT_EQ(s.lcdH, 2 * DLL_LCD_HEIGHT);
  ASSERT_TRUE(s.lcdX >= 0 && s.lcdY >= 0 && s.lcdX + s.lcdW <= s.winW && s.lcdY + s.lcdH <= s.winH)
      << "LCD at " << s.lcdX << "," << s.lcdY << " in a " << s.winW << "x" << s.winH << " window";
  ASSERT_EQ(s.lcd.width, DLL_LCD_WIDTH);
  ASSERT_EQ(s.lcd.height, DLL_LCD_HEIGHT);

  // The click reached the application, and the screen shows what it drew.
  EXPECT_NE(s.listing.find("\"key 53\""), std::string::npos) << s.listing;
  EXPECT_NE(s.listing.find("\"card 33\""), std::string::npos) << s.listing;
  EXPECT_NE(s.listing.find("\"SN SIM00012345\""), std::string::npos) << s.listing;
  EXPECT_GT(darkPixels(s.lcd, 100, 181, 220, 214), 50) << "no ink where \"key 53\" is drawn";
  EXPECT_EQ(lcdMismatch(s), "");
  // The window is more than the LCD: the keypad and panels are drawn too.
  EXPECT_GT(darkPixels(s.window, 0, s.lcdY + s.lcdH + 10, s.winW, s.winH), 200);

  std::string events = readFile(dir_ / "out" / "events.txt");
  EXPECT_NE(events.find("start window"), std::string::npos) << events;
  EXPECT_NE(events.find("power off"), std::string::npos) << events;
}

TEST_F(Window, EachShotShowsItsOwnMomentStatusLineIncluded) {
  NEED_XVFB();
  // Hooks this close together still run in order: the second shot shows the
  // key the click gave, not the first picture again.
  Outcome r = run(true, {"--sim-window-shot", "before.png", "600", "--sim-window-click", "5", "650",
                         "--sim-window-shot", "after.png", "700", "--sim-window-close", "750"});
  ASSERT_EQ(r.status, 0) << r.err;
  Shot before, after;
  ASSERT_TRUE(loadShot(dir_ / "before", &before));
  ASSERT_TRUE(loadShot(dir_ / "after", &after));
  EXPECT_EQ(before.listing.find("\"key 53\""), std::string::npos) << before.listing;
  EXPECT_NE(after.listing.find("\"key 53\""), std::string::npos) << after.listing;
  EXPECT_EQ(lcdMismatch(before), "");
  EXPECT_EQ(lcdMismatch(after), "");
  ASSERT_EQ(before.window.rgba.size(), after.window.rgba.size());
  EXPECT_NE(before.window.rgba, after.window.rgba);

  // The status line is the picture's last rows, and it has text in it.
  for (const Shot* s : {&before, &after}) {
    EXPECT_EQ(s->window.height, s->winH);
    EXPECT_GT(s->statusH, 10);
    EXPECT_EQ(s->statusX, 0);
    EXPECT_EQ(s->statusY + s->statusH, s->winH);
    EXPECT_GT(s->statusY, s->lcdY + s->lcdH);
    EXPECT_GT(darkPixels(s->window, 0, s->statusY, s->statusW, s->statusY + s->statusH), 30);
  }
  // The click shows in the status line's middle field: after differs there.
  int differing = 0;
  for (int y = after.statusY; y < after.statusY + after.statusH; ++y)
    for (int x = 0; x < after.statusW; ++x) differing += rgbAt(before.window, x, y) != rgbAt(after.window, x, y);
  EXPECT_GT(differing, 20);
}

TEST_F(Window, ClosingTheWindowEndsTheRunWithStatusZeroWhileAScriptKeepsItsPlace) {
  NEED_XVFB();
  // The script's last input is taken early; the run must go on until the
  // window closes, not end with the script.
  std::ofstream(dir_ / "keys.script") << "type 7\n";
  Outcome r = run(true, {"--sim-script", "keys.script", "--sim-window-shot", "after-script.png", "1500",
                         "--sim-window-close", "2200"});
  ASSERT_EQ(r.status, 0) << r.err;
  Shot s;
  ASSERT_TRUE(loadShot(dir_ / "after-script", &s));
  EXPECT_NE(s.listing.find("\"key 55\""), std::string::npos) << s.listing;
  EXPECT_EQ(lcdMismatch(s), "");
  std::string events = readFile(dir_ / "out" / "events.txt");
  EXPECT_NE(events.find("window closed"), std::string::npos) << events;
  EXPECT_EQ(events.find("power off"), std::string::npos) << events;
}

TEST_F(Window, PinPadPanelAnswersThePinRequestOrCancelsIt) {
  NEED_XVFB();
  // F7 makes the demo ask for a PIN; the panel's field and OK answer it, then
  // a second request is cancelled with the panel's Cancel.
  Outcome r = run(true, {"--sim-window-type", "F7", "800", "--sim-window-shot", "asking.png", "1300",
                         "--sim-window-pin", "1234", "1800", "--sim-window-shot", "answered.png", "2500",
                         "--sim-window-type", "F7", "2900", "--sim-window-pin", "cancel", "3400",
                         "--sim-window-shot", "cancelled.png", "4000", "--sim-window-close", "4400"});
  ASSERT_EQ(r.status, 0) << r.err;
  Shot asking, answered, cancelled;
  ASSERT_TRUE(loadShot(dir_ / "asking", &asking));
  ASSERT_TRUE(loadShot(dir_ / "answered", &answered));
  ASSERT_TRUE(loadShot(dir_ / "cancelled", &cancelled));
  EXPECT_NE(asking.listing.find("\"pin?\""), std::string::npos) << asking.listing;
  EXPECT_NE(answered.listing.find("\"pin ok\""), std::string::npos) << answered.listing;
  EXPECT_NE(cancelled.listing.find("\"pin refused\""), std::string::npos) << cancelled.listing;
}

TEST_F(Window, ModemAndWifiPanelPullsTheSimDropsTheLinkAndChangesTheNetworks) {
  NEED_XVFB();
  Outcome r = run(true, {"--sim-wifi", "add Cafe secret123 -45", "--sim-window-bearer", "pull-sim", "800",
                         "--sim-window-bearer", "insert-sim", "1300", "--sim-window-bearer", "drop", "1800",
                         "--sim-window-bearer", "add:Library::-70", "2300", "--sim-window-bearer", "remove:Cafe",
                         "2800", "--sim-window-shot", "panel.png", "3400", "--sim-window-close", "3800"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string events = readFile(dir_ / "out" / "events.txt");
  const char* inOrder[] = {"modem: SIM pulled", "modem: SIM inserted", "wifi: network Library in range, signal -70",
                           "wifi: network Cafe gone"};
  size_t at = 0;
  for (const char* e : inOrder) {
    size_t found = events.find(e, at);
    ASSERT_NE(found, std::string::npos) << e << " missing or out of order in\n" << events;
    at = found;
  }
  Shot s;
  ASSERT_TRUE(loadShot(dir_ / "panel", &s));
  EXPECT_GT(s.winH, s.lcdH);
}

TEST_F(Window, WithoutADisplayTheTerminalRunsFromStandardInput) {
  Outcome r = run(false, {}, "key CANCEL\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("no window: DISPLAY is not set"), std::string::npos) << r.err;
  std::string events = readFile(dir_ / "out" / "events.txt");
  EXPECT_NE(events.find("start real-time"), std::string::npos) << events;
  EXPECT_NE(events.find("power off"), std::string::npos) << events;
}

TEST_F(Window, TestHooksWithoutAWindowAreRefused) {
  EXPECT_EQ(run(false, {"--sim-window-shot", "x.png", "100"}).status, 2);
  EXPECT_EQ(run(false, {"--sim-headless", "--sim-window-close", "100"}, "quit\n").status, 2);
  EXPECT_EQ(run(false, {"--sim-window-click", "SEVEN", "100"}).status, 2);
  EXPECT_EQ(run(false, {"--sim-window-click", "7"}).status, 2);
  EXPECT_EQ(run(false, {"--sim-window-swipe", "0", "100"}).status, 2);
  EXPECT_EQ(run(false, {"--sim-window-pin", "12a4", "100"}).status, 2);
  EXPECT_EQ(run(false, {"--sim-window-bearer", "unplug", "100"}).status, 2);
}

TEST(WindowKeys, EveryKeypadKeyHasAHostKeyThatTypesIt) {
  using namespace sim::detail;
  const char* names[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
                         "ENTER", "CANCEL", "CLEAR", "UP", "DOWN", "MENU", "F7"};
  const int codes[] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', DLL_KEY_ENTER, DLL_KEY_CANCEL,
                       DLL_KEY_CLEAR, DLL_KEY_UP, DLL_KEY_DOWN, DLL_KEY_MENU, DLL_KEY_F7};
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(windowKeyCode(names[i]), codes[i]);
    int host = windowHostKeyFor(codes[i]);
    ASSERT_GT(host, 0);
    EXPECT_EQ(windowKeyForHost(host), codes[i]);
  }
  EXPECT_EQ(windowKeyCode("menu"), DLL_KEY_MENU);
  EXPECT_EQ(windowKeyCode("F21"), -1);
}

TEST(WindowKeys, HostKeysMapToTheTerminalsCodes) {
  using namespace sim::detail;
  EXPECT_EQ(windowKeyForHost(WXK_RETURN), DLL_KEY_ENTER);
  EXPECT_EQ(windowKeyForHost(WXK_NUMPAD_ENTER), DLL_KEY_ENTER);
  EXPECT_EQ(windowKeyForHost(WXK_ESCAPE), DLL_KEY_CANCEL);
  EXPECT_EQ(windowKeyForHost(WXK_BACK), DLL_KEY_CLEAR);
  EXPECT_EQ(windowKeyForHost(WXK_DELETE), DLL_KEY_CLEAR);
  EXPECT_EQ(windowKeyForHost(WXK_UP), DLL_KEY_UP);
  EXPECT_EQ(windowKeyForHost(WXK_DOWN), DLL_KEY_DOWN);
  EXPECT_EQ(windowKeyForHost(WXK_NUMPAD7), '7');
  EXPECT_EQ(windowKeyForHost('m'), DLL_KEY_MENU);
  EXPECT_EQ(windowKeyForHost(WXK_F2), DLL_KEY_MENU);
  EXPECT_EQ(windowKeyForHost(WXK_F7), DLL_KEY_F7);
  // Keys the terminal does not have type nothing.
  EXPECT_EQ(windowKeyForHost('x'), -1);
  EXPECT_EQ(windowKeyForHost(WXK_TAB), -1);
  EXPECT_EQ(windowKeyForHost(WXK_LEFT), -1);
}

#ifdef SAFFRON_PROGRAM
// Runs a program to its end, its standard output into `out`; its exit status.
int runToEnd(const std::vector<std::string>& args, const std::filesystem::path& out) {
  pid_t pid = testsupport::spawn(args, out);
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Window, ACardOfTheCardFileSwipedInTheWindowGoesThroughTheCustomerFlow) {
  NEED_XVFB();
  // A card of the shop's own, given to the switch and to the window alike.
  const std::filesystem::path cards = dir_ / "shop.cards", ledger = dir_ / "ledger.jsonl";
  std::ofstream(cards) << "# the shop's test card\n6037991111155555 6037991111155555=2812101000000001 9876 750000 50000\n";
  pid_t sw = testsupport::spawn({SWITCHSIM_PROGRAM, "--port", "0", "--cards", cards.string(), "--ledger",
                                 ledger.string()},
                                dir_ / "switch.out");
  ASSERT_GT(sw, 0);
  struct StopSwitch {
    pid_t pid;
    ~StopSwitch() {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  } stop{sw};
  const int port = testsupport::listeningPort(dir_ / "switch.out");
  ASSERT_GT(port, 0) << readFile(dir_ / "switch.out");

  // The terminal pointed at it and logged on by the manager, headless.
  const std::string data = (dir_ / "data").string();
  std::filesystem::create_directories(data);
  ASSERT_EQ(runToEnd({SAFFRON_CONFIG_PROGRAM, data, "set", "HostIP=127.0.0.1", "HostPort=" + std::to_string(port)},
                     dir_ / "config.out"),
            0)
      << readFile(dir_ / "config.out");
  ASSERT_EQ(runToEnd({SAFFRON_CONFIG_PROGRAM, data, "supervisor-code", "20261207", "SIM00012345"}, dir_ / "code.txt"),
            0);
  std::string code = readFile(dir_ / "code.txt");
  code = code.substr(0, code.find_first_not_of("0123456789"));
  ASSERT_EQ(code.size(), 4u) << readFile(dir_ / "code.txt");
  std::ofstream(dir_ / "logon.script") << "wait 1000\nkey MENU\ntype 3\ntype " << code
                                       << "\nkey ENTER\ntype 2\ntype 1\nwait 1500\nkey ENTER\ntype 2\nwait 1500\n"
                                          "key ENTER\nkey CANCEL\nkey CANCEL\nkey CANCEL\nexpect فروشگاه نمونه\n";
  ASSERT_EQ(runToEnd({SAFFRON_PROGRAM, "--sim-headless", "--sim-script", (dir_ / "logon.script").string(), "--sim-out",
                      (dir_ / "logon").string(), "--sim-data", data, "--sim-time", "20261207100000",
                      "--link-wait-ms", "5000"},
                     dir_ / "logon.out"),
            0)
      << readFile(dir_ / "logon.out");

  // In the window, each step once the screen before it is up: the card from
  // the file on the idle screen, the balance item of the customer menu, its
  // PIN; the shot once the answer shows.
  program_ = SAFFRON_PROGRAM;
  Outcome r = run(true, {"--sim-cards", "shop.cards", "--link-wait-ms", "5000",
                         "--sim-window-expect", "فروشگاه نمونه", "500", "--sim-window-swipe", "1", "600",
                         "--sim-window-expect", "مشتری", "700", "--sim-window-click", "2", "800",
                         "--sim-window-pin", "9876", "900", "--sim-window-expect", "تراکنش موفق", "1000",
                         "--sim-window-shot", "balance.png", "1100", "--sim-window-close", "1200"});
  ASSERT_EQ(r.status, 0) << r.err;
  Shot balance;
  ASSERT_TRUE(loadShot(dir_ / "balance", &balance));
  EXPECT_NE(balance.listing.find("تراکنش موفق - موجودی"), std::string::npos) << balance.listing;
  EXPECT_EQ(lcdMismatch(balance), "");
  // The switch answered that card's balance inquiry, PIN and all.
  std::string booked = readFile(ledger), request, answer;
  std::istringstream lines(booked);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("\"kind\":\"balance\"") == std::string::npos) continue;
    (line.find("\"dir\":\"request\"") != std::string::npos ? request : answer) = line;
  }
  EXPECT_NE(request.find("\"pan\":\"603799******5555\""), std::string::npos) << booked;
  EXPECT_NE(request.find("\"pin\":\"ok\""), std::string::npos) << booked;
  EXPECT_NE(answer.find("\"rc\":\"00\""), std::string::npos) << booked;
  EXPECT_NE(answer.find("700000"), std::string::npos) << "750,000 less 50,000 blocked: " << booked;
}
#endif

}  // namespace
