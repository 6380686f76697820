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

namespace sim::detail {

/* ---- state ------------------------------------------------------------------------------ */

namespace {

constexpr int kEndWaitMs = 5000;      // how long an ending run waits for the window to close
constexpr int kShotSettleMs = 300;    // between holding the LCD for a shot and reading the screen
constexpr int kFocusSettleMs = 150;   // between pointing at the window and typing into it

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

namespace {

// Runs one hook after `ms`; the timer goes once it has fired.
void after(long long ms, std::function<void()> what) {
  wxTimer* t = new wxTimer();
  t->Bind(wxEVT_TIMER, [t, what](wxTimerEvent&) {
    what();
    wxTheApp->CallAfter([t] { delete t; });
  });
  t->StartOnce(static_cast<int>(ms < 1 ? 1 : ms));
}

void clickAt(wxUIActionSimulator& ui, wxWindow* w) {
  wxRect r = w->GetScreenRect();
  ui.MouseMove(r.GetPosition() + wxPoint(r.width / 2, r.height / 2));
  ui.MouseClick();
}

// Clicks a keypad button with the pointer, types its host key, or swipes a
// test card, as a person would.
void doPress(SimFrame* frame, const WindowPlan::Press& p) {
  wxUIActionSimulator ui;
  switch (p.how) {
    case 'c':
      if (wxButton* b = frame->keypadButton(p.code)) clickAt(ui, b);
      return;
    case 'w':
      frame->chooseCard(p.code - 1);
      clickAt(ui, frame->swipeButton());
      return;
    default: {
      // With no window manager the keyboard follows the pointer: put it on
      // the LCD, and give the window time to learn it has the keyboard.
      wxRect r = frame->lcd()->GetScreenRect();
      ui.MouseMove(r.GetPosition() + wxPoint(r.width / 2, r.height / 2));
      frame->Raise();
      frame->lcd()->SetFocus();
      int hostKey = windowHostKeyFor(p.code);
      after(kFocusSettleMs, [hostKey] {
        wxUIActionSimulator keys;
        keys.Char(hostKey);
      });
    }
  }
}

// Answers the PIN pad: types the digits into its field and clicks OK, or
// clicks its Cancel.
void doPin(SimFrame* frame, const WindowPlan::Pin& p) {
  wxUIActionSimulator ui;
  if (p.answer == "cancel") {
    clickAt(ui, frame->pinCancelButton());
    return;
  }
  clickAt(ui, frame->pinField());
  wxYield();
  ui.Text(p.answer.c_str());
  wxYield();
  clickAt(ui, frame->pinOkButton());
}

// Works the modem and WiFi panel: its SIM and link buttons, or fills the
// network fields and clicks Add, or picks a network and clicks Remove.
void doRadio(SimFrame* frame, const WindowPlan::Radio& r) {
  wxUIActionSimulator ui;
  BearerBox* b = frame->bearer();
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t colon; (colon = r.action.find(':', start)) != std::string::npos; start = colon + 1)
    parts.push_back(r.action.substr(start, colon - start));
  parts.push_back(r.action.substr(start));
  if (parts[0] == "pull-sim" || parts[0] == "insert-sim") {
    clickAt(ui, b->simButton());
  } else if (parts[0] == "drop") {
    clickAt(ui, b->dropButton());
  } else if (parts[0] == "add" && parts.size() == 4) {
    b->ssidField()->ChangeValue(parts[1]);
    b->passField()->ChangeValue(parts[2]);
    b->signalField()->ChangeValue(parts[3]);
    clickAt(ui, b->addButton());
  } else if (parts[0] == "remove" && parts.size() == 2) {
    if (b->selectNetwork(parts[1])) clickAt(ui, b->removeButton());
  }
}

std::string shotBase(const std::string& path) {
  const std::string ext = ".png";
  if (path.size() > ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0)
    return path.substr(0, path.size() - ext.size());
  return path;
}

// Reads the window's client area back from the screen, with the LCD frame it
// shows and where that frame sits in the picture.
void takeShot(SimFrame* frame, const std::string& path) {
  std::string base = shotBase(path);
  wxPoint origin = frame->ClientToScreen(wxPoint(0, 0));
  wxSize size = frame->GetClientSize();
  wxScreenDC screen;
  wxBitmap bmp(size.x, size.y, 24);
  bool ok;
  {
    wxMemoryDC mem(bmp);
    ok = mem.Blit(0, 0, size.x, size.y, &screen, origin.x, origin.y);
    mem.SelectObject(wxNullBitmap);
  }
  wxImage img = bmp.ConvertToImage();
  LcdPanel* lcd = frame->lcd();
  wxPoint at = lcd->GetScreenPosition() + lcd->imageOrigin() - origin;
  ok = ok && img.IsOk() && pngWriteRgb(base + ".png", img.GetData(), img.GetWidth(), img.GetHeight()) &&
       pngWriteRgb(base + "-lcd.png", lcd->shownRgb().data(), DLL_LCD_WIDTH, DLL_LCD_HEIGHT);
  if (ok) {
    FILE* f = fopen((base + ".txt").c_str(), "wb");
    ok = f != nullptr;
    if (f) {
      fprintf(f, "window %d %d\nlcd %d %d %d %d\n", size.x, size.y, at.x, at.y, DLL_LCD_WIDTH * kLcdScale,
              DLL_LCD_HEIGHT * kLcdScale);
      fputs(lcd->shownListing().c_str(), f);
      ok = fclose(f) == 0;
    }
  }
  if (!ok) fprintf(stderr, "sim: the window shot %s could not be written\n", path.c_str());
}

void scheduleHooks(SimFrame* frame, const WindowPlan& plan) {
  for (const WindowPlan::Press& p : plan.presses)
    after(p.afterMs, [frame, p] { doPress(frame, p); });
  for (const WindowPlan::Pin& p : plan.pins) after(p.afterMs, [frame, p] { doPin(frame, p); });
  for (const WindowPlan::Radio& r : plan.radios) after(r.afterMs, [frame, r] { doRadio(frame, r); });
  for (const WindowPlan::Shot& s : plan.shots)
    after(s.afterMs, [frame, s] {
      // Hold one LCD frame on show while the screen settles, so the picture
      // and the frame saved with it are the same moment.
      frame->lcd()->hold(false);
      frame->lcd()->refreshFromDevice(true);
      frame->lcd()->hold(true);
      frame->lcd()->Update();
      after(kShotSettleMs, [frame, s] {
        takeShot(frame, s.path);
        frame->lcd()->hold(false);
      });
    });
  if (plan.closeAfterMs >= 0) after(plan.closeAfterMs, [frame] { frame->Close(); });
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
