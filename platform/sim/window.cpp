/*
 * window.cpp - the window front end's life: the thread wxWidgets runs on, how
 * the run ends, the test hooks (presses and shots), and starting it all.
 *
 * Threads. The application called DLL_ApiInit from its main thread and its
 * main loop never returns, so it keeps that thread; wxWidgets gets a thread of
 * its own, started here, which runs the whole of wx's life (start, event loop,
 * clean-up). wx takes the thread that starts it as its "main" thread, and GTK
 * only asks that every GTK call come from one thread, so this holds as long as
 * no other thread touches a widget: the application reaches the window only
 * through the device record (under the device mutex) and through wx's
 * thread-safe event queue (CallAfter). The other way round -- moving the
 * application to a new thread and giving wx the main thread -- would need
 * DLL_ApiInit to never return on the main thread, which no caller expects.
 *
 * Ending. Closing the window ends the process with status 0. The application
 * ending the run (power-off, a script's end) closes the window first. Either
 * way the process leaves with _exit after flushing its outputs: the application's
 * thread may be anywhere in its loop, and running static destructors under it
 * (or under wx) would not be safe.
 *
 * Sections: state, ending the run, test hooks, the app, starting.
 */
#include "window.h"

#include <unistd.h>

#include <wx/uiaction.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "device.h"
#include "libapi.h"
#include "window_frame.h"
#include "window_grab.h"

namespace sim::detail {

/* ---- state ------------------------------------------------------------------------------ */

namespace {

constexpr int kEndWaitMs = 5000;      // how long an ending run waits for the window to close
constexpr int kShotSettleMs = 300;    // between holding the LCD for a shot and first reading the screen

enum class Phase { Starting, Running, Ended };

struct Gui {
  std::mutex lock;                    // guards phase against wx's clean-up
  Phase phase = Phase::Starting;
  std::atomic<bool> ending{false};    // another thread is ending the process
  std::atomic<bool> left{false};      // the window thread is done with wx
  std::thread::id thread;
  std::string programName;
  WindowPlan plan;
};

Gui& gui() {
  static Gui* g = new Gui();  // never destroyed: the window thread may outlive main's statics
  return *g;
}

bool onGuiThread() { return std::this_thread::get_id() == gui().thread; }

// Asks the window thread to close the window; false when it is not running.
bool requestClose() {
  Gui& g = gui();
  std::lock_guard<std::mutex> lock(g.lock);
  if (g.phase != Phase::Running || !wxTheApp) return false;
  wxTheApp->CallAfter([] {
    for (wxWindow* w : wxTopLevelWindows) w->Destroy();
    if (wxTheApp) wxTheApp->ExitMainLoop();
  });
  return true;
}

// Standard output and error only: fflush(nullptr) would also wait on the lock
// of any stream another thread is blocked reading.
void flushStdio() {
  fflush(stdout);
  fflush(stderr);
}

void waitForGuiToLeave() {
  for (int waited = 0; waited < kEndWaitMs && !gui().left.load(); waited += 10) usleep(10000);
}

// exit() called by the application itself: let the window close before the
// statics go.
void closeAtExit() {
  Gui& g = gui();
  if (onGuiThread() || g.ending.exchange(true)) return;
  if (requestClose()) waitForGuiToLeave();
}

}  // namespace

/* ---- ending the run ---------------------------------------------------------------------- */

void windowEndRun(int status) {
  Gui& g = gui();
  if (!onGuiThread() && !g.ending.exchange(true) && requestClose()) waitForGuiToLeave();
  flushStdio();
  _exit(status);
}

/* ---- test hooks ---------------------------------------------------------------------------- */

// The hooks run one after another, like a script's lines: each at its time at
// the earliest, and only once the previous one has done what it does (its
// input queued, its picture written) and the application has taken every
// queued input and is waiting for input again. Fixed delays alone would let a
// busy machine reorder them: a shot taken before the key it should show.

namespace {

constexpr int kTickMs = 20;            // how often the hook runner looks
constexpr int kFocusMinMs = 150;       // the pointer on the window before a key is typed
constexpr int kActionLimitMs = 10000;  // a hook whose input never arrives gives up
constexpr int kSettleLimitMs = 30000;  // an application that never takes an input holds the hooks no longer

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Runs `what` once, after `ms`; the timer goes once it has fired.
void after(long long ms, std::function<void()> what) {
  wxTimer* t = new wxTimer();
  t->Bind(wxEVT_TIMER, [t, what](wxTimerEvent&) {
    what();
    wxTheApp->CallAfter([t] { delete t; });
  });
  t->StartOnce(static_cast<int>(ms < 1 ? 1 : ms));
}

// Looks every tick until `ready` holds (or limitMs has passed), then runs `then`
// with whether it held. Each pending look keeps the poller alive, no longer.
struct Poller : std::enable_shared_from_this<Poller> {
  std::function<bool()> ready;
  long long limitMs;
  std::function<void(bool)> then;
  Clock::time_point start = Clock::now();
  void look() {
    if (ready()) return then(true);
    if (msSince(start) >= limitMs) return then(false);
    after(kTickMs, [self = shared_from_this()] { self->look(); });
  }
};

void when(std::function<bool()> ready, long long limitMs, std::function<void(bool)> then) {
  auto p = std::make_shared<Poller>();
  p->ready = std::move(ready);
  p->limitMs = limitMs;
  p->then = std::move(then);
  p->look();
}

unsigned long long queued() { return dev().inputsQueued.load(); }

void clickAt(wxUIActionSimulator& ui, wxWindow* w) {
  wxRect r = w->GetScreenRect();
  ui.MouseMove(r.GetPosition() + wxPoint(r.width / 2, r.height / 2));
  ui.MouseClick();
}

// Calls done once an input beyond `before` has been queued.
void untilQueued(unsigned long long before, const char* what, std::function<void()> done) {
  when([before] { return queued() > before; }, kActionLimitMs, [what, done](bool ok) {
    if (!ok) fprintf(stderr, "sim: window test hook: %s reached no queue\n", what);
    done();
  });
}

// Clicks a keypad button with the pointer, types its host key, or swipes a
// test card, as a person would.
void doPress(SimFrame* frame, const WindowPlan::Press& p, std::function<void()> done) {
  wxUIActionSimulator ui;
  unsigned long long before = queued();
  switch (p.how) {
    case 'c':
      if (wxButton* b = frame->keypadButton(p.code)) clickAt(ui, b);
      untilQueued(before, "a keypad click", done);
      return;
    case 'w':
      frame->chooseCard(p.code - 1);
      clickAt(ui, frame->swipeButton());
      untilQueued(before, "a swipe", done);
      return;
    default: {
      // With no window manager the keyboard follows the pointer: put it on
      // the LCD, and type once the window knows it has the keyboard.
      wxRect r = frame->lcd()->GetScreenRect();
      ui.MouseMove(r.GetPosition() + wxPoint(r.width / 2, r.height / 2));
      frame->Raise();
      frame->lcd()->SetFocus();
      int hostKey = windowHostKeyFor(p.code);
      after(kFocusMinMs, [frame, hostKey, before, done] {
        when([frame] { return frame->IsActive() && wxWindow::FindFocus() == frame->lcd(); }, kActionLimitMs,
             [hostKey, before, done](bool) {
               wxUIActionSimulator keys;
               keys.Char(hostKey);
               untilQueued(before, "a typed key", done);
             });
      });
    }
  }
}

// Answers the PIN pad: types the digits into its field and clicks OK once the
// field holds them, or clicks its Cancel.
void doPin(SimFrame* frame, const WindowPlan::Pin& p, std::function<void()> done) {
  wxUIActionSimulator ui;
  unsigned long long before = queued();
  if (p.answer == "cancel") {
    clickAt(ui, frame->pinCancelButton());
    untilQueued(before, "the PIN pad's Cancel", done);
    return;
  }
  clickAt(ui, frame->pinField());
  std::string digits = p.answer;
  when([frame] { return wxWindow::FindFocus() == frame->pinField(); }, kActionLimitMs,
       [frame, digits, before, done](bool) {
         wxUIActionSimulator keys;
         keys.Text(digits.c_str());
         when([frame, digits] { return frame->pinField()->GetValue().ToStdString() == digits; }, kActionLimitMs,
              [frame, before, done](bool) {
                wxUIActionSimulator click;
                clickAt(click, frame->pinOkButton());
                untilQueued(before, "the PIN typed into the PIN pad", done);
              });
       });
}

// Works the modem and WiFi panel: its SIM and link buttons, or fills the
// network fields and clicks Add, or picks a network and clicks Remove. Done
// once the panel has acted on the click (a network not listed: nothing to click).
void doRadio(SimFrame* frame, const WindowPlan::Radio& r, std::function<void()> done) {
  wxUIActionSimulator ui;
  BearerBox* b = frame->bearer();
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t colon; (colon = r.action.find(':', start)) != std::string::npos; start = colon + 1)
    parts.push_back(r.action.substr(start, colon - start));
  parts.push_back(r.action.substr(start));
  unsigned long actions = b->actions();
  bool clicked = true;
  if (parts[0] == "pull-sim" || parts[0] == "insert-sim") {
    clickAt(ui, b->simButton());
  } else if (parts[0] == "drop") {
    clickAt(ui, b->dropButton());
  } else if (parts[0] == "add" && parts.size() == 4) {
    b->ssidField()->ChangeValue(parts[1]);
    b->passField()->ChangeValue(parts[2]);
    b->signalField()->ChangeValue(parts[3]);
    clickAt(ui, b->addButton());
  } else if (parts[0] == "remove" && parts.size() == 2 && b->selectNetwork(parts[1])) {
    clickAt(ui, b->removeButton());
  } else {
    clicked = false;
  }
  if (!clicked) {
    done();
    return;
  }
  when([b, actions] { return b->actions() > actions; }, kActionLimitMs, [done](bool) { done(); });
}

std::string shotBase(const std::string& path) {
  const std::string ext = ".png";
  if (path.size() > ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0)
    return path.substr(0, path.size() - ext.size());
  return path;
}

// What a shot covers: the frame's inside with its status line, in screen
// coordinates (the client area alone leaves the status line out).
wxRect shotRect(SimFrame* frame) {
  wxRect r(frame->ClientToScreen(wxPoint(0, 0)), frame->GetClientSize());
  if (wxStatusBar* bar = frame->GetStatusBar()) r.Union(bar->GetScreenRect());
  return r;
}

// Whether the LCD area of a picture of `rect` shows the held frame, each
// LCD pixel doubled.
bool lcdShown(SimFrame* frame, const wxRect& rect, const std::vector<unsigned char>& rgb) {
  LcdPanel* lcd = frame->lcd();
  wxPoint at = lcd->GetScreenPosition() + lcd->imageOrigin() - rect.GetPosition();
  const std::vector<unsigned char>& shown = lcd->shownRgb();
  for (int y = 0; y < DLL_LCD_HEIGHT * kLcdScale; ++y)
    for (int x = 0; x < DLL_LCD_WIDTH * kLcdScale; ++x) {
      int sx = at.x + x, sy = at.y + y;
      if (sx < 0 || sy < 0 || sx >= rect.width || sy >= rect.height) return false;
      const unsigned char* got = &rgb[(static_cast<size_t>(sy) * rect.width + sx) * 3];
      const unsigned char* want = &shown[(static_cast<size_t>(y / kLcdScale) * DLL_LCD_WIDTH + x / kLcdScale) * 3];
      if (got[0] != want[0] || got[1] != want[1] || got[2] != want[2]) return false;
    }
  return true;
}

// Writes the picture, the LCD frame held on show and the listing beside them.
void writeShot(SimFrame* frame, const std::string& path, const wxRect& rect, const std::vector<unsigned char>& rgb) {
  std::string base = shotBase(path);
  LcdPanel* lcd = frame->lcd();
  wxPoint at = lcd->GetScreenPosition() + lcd->imageOrigin() - rect.GetPosition();
  wxRect status = frame->GetStatusBar() ? frame->GetStatusBar()->GetScreenRect() : wxRect();
  status.Offset(-rect.GetPosition());
  bool ok = pngWriteRgb(base + ".png", rgb.data(), rect.width, rect.height) &&
            pngWriteRgb(base + "-lcd.png", lcd->shownRgb().data(), DLL_LCD_WIDTH, DLL_LCD_HEIGHT);
  if (ok) {
    FILE* f = fopen((base + ".txt").c_str(), "wb");
    ok = f != nullptr;
    if (f) {
      fprintf(f, "window %d %d\nlcd %d %d %d %d\nstatus %d %d %d %d\n", rect.width, rect.height, at.x, at.y,
              DLL_LCD_WIDTH * kLcdScale, DLL_LCD_HEIGHT * kLcdScale, status.x, status.y, status.width,
              status.height);
      fputs(lcd->shownListing().c_str(), f);
      ok = fclose(f) == 0;
    }
  }
  if (!ok) fprintf(stderr, "sim: the window shot %s could not be written\n", path.c_str());
}

// Holds one LCD frame on show, waits until the screen shows it (a busy X
// server paints late), then reads the screen back and writes the shot.
void doShot(SimFrame* frame, const WindowPlan::Shot& s, std::function<void()> done) {
  LcdPanel* lcd = frame->lcd();
  lcd->hold(false);
  // The application holds the device only briefly; a shot must not show a stale frame.
  for (int tries = 0; !lcd->refreshFromDevice(true) && tries < 500; ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  lcd->hold(true);
  frame->Update();
  std::string path = s.path;
  auto rgb = std::make_shared<std::vector<unsigned char>>();
  auto why = std::make_shared<std::string>();
  after(kShotSettleMs, [frame, path, rgb, why, done] {
    when(
        [frame, rgb, why] {
          wxRect rect = shotRect(frame);
          return screenGrab(rect.x, rect.y, rect.width, rect.height, rgb.get(), why.get()) &&
                 lcdShown(frame, rect, *rgb);
        },
        kActionLimitMs,
        [frame, path, rgb, why, done](bool shown) {
          wxRect rect = shotRect(frame);
          if (rgb->size() != static_cast<size_t>(rect.width) * rect.height * 3) {
            fprintf(stderr, "sim: the window shot %s could not be read from the screen: %s\n", path.c_str(),
                    why->c_str());
          } else {
            if (!shown) fprintf(stderr, "sim: the window shot %s: the screen never showed the LCD frame\n", path.c_str());
            writeShot(frame, path, rect, *rgb);
          }
          frame->lcd()->hold(false);
          done();
        });
  });
}

// Waits until some text on the LCD holds the expected text; a screen that never
// shows it ends the run with status 3, as a script's expect does.
void doExpect(const WindowPlan::Expect& e, std::function<void()> done) {
  std::string text = e.text;
  when([text] { return sim::screenContains(text); }, kSettleLimitMs, [text, done](bool shown) {
    if (!shown)
      finishRun(3, "sim: window test hook: no text on the screen holds \"" + text + "\" after " +
                       std::to_string(kSettleLimitMs / 1000) + " s");
    done();
  });
}

// One hook of the plan, whatever its kind.
struct Hook {
  long long afterMs;
  std::function<void(SimFrame*, std::function<void()>)> run;
};

struct HookRunner {
  std::vector<Hook> hooks;
  size_t next = 0;
  bool busy = false;
  Clock::time_point up, settling;
  wxTimer timer;
};

HookRunner& runner() {
  static HookRunner* r = new HookRunner();  // lives as long as the window thread
  return *r;
}

void runnerTick(SimFrame* frame) {
  HookRunner& r = runner();
  if (r.busy) return;
  if (r.next >= r.hooks.size()) {
    r.timer.Stop();
    return;
  }
  const Hook& h = r.hooks[r.next];
  if (msSince(r.up) < h.afterMs) return;
  if (!applicationWaiting() && msSince(r.settling) < kSettleLimitMs) return;
  if (!applicationWaiting())
    fprintf(stderr, "sim: window test hook %zu: the application has not taken its input in %d s; going on\n",
            r.next + 1, kSettleLimitMs / 1000);
  r.busy = true;
  h.run(frame, [] {
    HookRunner& rr = runner();
    rr.busy = false;
    ++rr.next;
    rr.settling = Clock::now();
  });
}

void scheduleHooks(SimFrame* frame, const WindowPlan& plan) {
  HookRunner& r = runner();
  for (const WindowPlan::Press& p : plan.presses)
    r.hooks.push_back({p.afterMs, [p](SimFrame* f, std::function<void()> done) { doPress(f, p, done); }});
  for (const WindowPlan::Pin& p : plan.pins)
    r.hooks.push_back({p.afterMs, [p](SimFrame* f, std::function<void()> done) { doPin(f, p, done); }});
  for (const WindowPlan::Radio& x : plan.radios)
    r.hooks.push_back({x.afterMs, [x](SimFrame* f, std::function<void()> done) { doRadio(f, x, done); }});
  for (const WindowPlan::Expect& e : plan.expects)
    r.hooks.push_back({e.afterMs, [e](SimFrame*, std::function<void()> done) { doExpect(e, done); }});
  for (const WindowPlan::Shot& s : plan.shots)
    r.hooks.push_back({s.afterMs, [s](SimFrame* f, std::function<void()> done) { doShot(f, s, done); }});
  if (plan.closeAfterMs >= 0)
    r.hooks.push_back({plan.closeAfterMs, [](SimFrame* f, std::function<void()>) { f->Close(); }});
  std::stable_sort(r.hooks.begin(), r.hooks.end(), [](const Hook& a, const Hook& b) { return a.afterMs < b.afterMs; });
  if (r.hooks.empty()) return;
  r.up = r.settling = Clock::now();
  r.timer.Bind(wxEVT_TIMER, [frame](wxTimerEvent&) { runnerTick(frame); });
  r.timer.Start(kTickMs);
}

/* ---- the app -------------------------------------------------------------------------------- */

class SimApp : public wxApp {
 public:
  bool OnInit() override {
    SetAppName("terminal-simulator");
    frame_ = new SimFrame();
    frame_->Show();
    frame_->lcd()->SetFocus();
    // The hooks count from the first quiet moment after the window came up.
    Bind(wxEVT_IDLE, &SimApp::onFirstIdle, this);
    return true;
  }

  int OnExit() override {
    std::lock_guard<std::mutex> lock(gui().lock);
    gui().phase = Phase::Ended;
    return wxApp::OnExit();
  }

 private:
  void onFirstIdle(wxIdleEvent& e) {
    Unbind(wxEVT_IDLE, &SimApp::onFirstIdle, this);
    frame_->chooseCard(-1);  // GTK picks the first card as the list comes up; start with none
    e.Skip();
    scheduleHooks(frame_, gui().plan);
  }
  SimFrame* frame_ = nullptr;
};

// The window thread: all of wx's life.
void guiMain(std::promise<bool>* ready) {
  Gui& g = gui();
  g.thread = std::this_thread::get_id();
  // GTK takes its own options out of argv: give it only the program name.
  static std::string name = g.programName;
  static char* argv[] = {name.data(), nullptr};
  static int argc = 1;
  wxApp::SetInstance(new SimApp());
  if (!wxEntryStart(argc, argv)) {  // no display; wx has printed why
    ready->set_value(false);
    return;
  }
  if (!wxTheApp->CallOnInit()) {
    wxEntryCleanup();
    ready->set_value(false);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(g.lock);
    g.phase = Phase::Running;
  }
  ready->set_value(true);
  wxTheApp->OnRun();
  wxTheApp->OnExit();
  wxEntryCleanup();
  g.left = true;
  if (g.ending.exchange(true)) return;  // the thread ending the run takes it from here
  // The person closed the window.
  noteEvent("window closed");
  flushOutputs();
  flushStdio();
  _exit(0);
}

}  // namespace

/* ---- starting -------------------------------------------------------------------------------- */

bool windowStart(const std::string& programName, const WindowPlan& plan, std::string* why) {
  const char* display = getenv("DISPLAY");
  if (!display || !*display) {
    if (why) *why = "DISPLAY is not set";
    return false;
  }
  Gui& g = gui();
  g.programName = programName.empty() ? "terminal-simulator" : programName;
  g.plan = plan;
  auto ready = std::make_shared<std::promise<bool>>();
  std::future<bool> up = ready->get_future();
  std::thread([ready] { guiMain(ready.get()); }).detach();
  if (!up.get()) {
    if (why) *why = std::string("the display ") + display + " cannot be opened";
    return false;
  }
  dev().endRun = &windowEndRun;
  atexit(closeAtExit);
  return true;
}

}  // namespace sim::detail

extern "C" const sim::detail::WindowFrontEnd* simWindowFrontEnd() {
  static const sim::detail::WindowFrontEnd frontEnd = {&sim::detail::windowStart, &sim::detail::windowKeyCode,
                                                       &sim::detail::windowTestCards};
  return &frontEnd;
}
