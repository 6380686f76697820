// tessel's dialog under a real X server (Xvfb in CI): the pages and their
// lists, Start and Stop against bootsim, the 230400 question, the boxes and
// the flat button's drawing. Without an X server every test is skipped.
#include <gtest/gtest.h>
#include <wx/wx.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bootsim.h"
#include "download.h"
#include "settings.h"
#include "tessel_windows.h"

namespace {

bool g_display = false;

// Runs the pending events (the worker's posted texts among them) until
// `done` holds or the time is up.
bool pumpUntil(const std::function<bool()>& done, int ms = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    wxTheApp->ProcessPendingEvents();
    wxYield();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

void click(wxWindow* button) {
  wxCommandEvent ev(wxEVT_BUTTON, button->GetId());
  ev.SetEventObject(button);
  button->ProcessWindowEvent(ev);
}

void choose(wxChoice* list, int index) {
  list->SetSelection(index);
  wxCommandEvent ev(wxEVT_CHOICE, list->GetId());
  ev.SetEventObject(list);
  ev.SetInt(index);
  list->ProcessWindowEvent(ev);
}

// Answers the question dialog once it is up, as a user would, with OK or Cancel.
class ModalAnswer : public wxTimer {
 public:
  explicit ModalAnswer(int answer) : answer_(answer) { Start(20); }
  void Notify() override {
    for (wxWindow* w : wxTopLevelWindows) {
      auto* q = dynamic_cast<CTRAXSelect*>(w);
      if (!q || !q->IsModal()) continue;
      seenText = q->question->GetLabel().utf8_string();
      listShown = q->list->IsShown();
      wxWindow* b = q->FindWindow(answer_);
      if (b) click(b);
      Stop();
      return;
    }
  }
  std::string seenText;
  bool listShown = true;

 private:
  int answer_;
};

class TesselDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!g_display) GTEST_SKIP() << "no X server could be started";
    char tmpl[] = "/tmp/tessel-ui-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    setTesselBoxHook([this](wxWindow*, const wxString& text, const wxString&) { boxes.push_back(text.utf8_string()); });
    dlg = new CTesselDlg(wxString::FromUTF8(dir));
    dlg->Show();
    pumpUntil([] { return false; }, 50);
  }
  void TearDown() override {
    if (!g_display) return;
    if (dlg) dlg->Destroy();
    pumpUntil([] { return false; }, 20);
    setTesselBoxHook(nullptr);
    if (sim) sim->stop();
    unsetenv("TESSEL_COM3");
    ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
  }
  std::string statusText() { return dlg->pageFirmware->statusLine->GetLabel().utf8_string(); }
  std::string image(size_t n) {
    const std::string path = dir + "/app.bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    for (size_t i = 0; i < n; ++i) std::fputc(static_cast<int>((i * 13) & 0xFF), f);
    std::fclose(f);
    return path;
  }
  void useSim(BootSimOptions o) {
    sim = std::make_unique<BootSim>(o);
    ASSERT_TRUE(sim->open());
    sim->start();
    setenv("TESSEL_COM3", sim->devicePath().c_str(), 1);
  }

  std::string dir;
  CTesselDlg* dlg = nullptr;
  std::vector<std::string> boxes;
  std::unique_ptr<BootSim> sim;
};

}  // namespace

TEST_F(TesselDialog, OpensWithItsPagesListsAndDefaults) {
  EXPECT_EQ(dlg->settingsLoad, SettingsLoad::Created);
  EXPECT_EQ(access((dir + "/config.qcf").c_str(), F_OK), 0);
  ASSERT_EQ(dlg->sheet->GetPageCount(), 2u);
  EXPECT_EQ(dlg->sheet->GetPageText(0), "Firmware");
  EXPECT_EQ(dlg->sheet->GetPageText(1), "Comm set");

  CPageCommSet* comm = dlg->pageCommSet;
  ASSERT_EQ(comm->portList->GetCount(), 20u);
  EXPECT_TRUE(comm->portList->GetString(0).StartsWith("COM1"));
  EXPECT_TRUE(comm->portList->GetString(19).StartsWith("COM20"));
  const char* speeds[] = {"115200", "57600", "38400", "28800", "19200", "14400", "9600", "230400"};
  ASSERT_EQ(comm->speedList->GetCount(), 8u);
  for (unsigned i = 0; i < 8; ++i) EXPECT_EQ(comm->speedList->GetString(i), speeds[i]);
  EXPECT_TRUE(comm->serialRadio->GetValue());
  EXPECT_TRUE(comm->serialRadio->IsEnabled());
  EXPECT_FALSE(comm->usbRadio->IsEnabled());

  CPageFirmware* fw = dlg->pageFirmware;
  EXPECT_FALSE(fw->bootTick->IsShown());
  EXPECT_TRUE(fw->appTick->IsShown());
  EXPECT_TRUE(fw->startButton->IsEnabled());
  EXPECT_FALSE(fw->stopButton->IsEnabled());
  EXPECT_EQ(dlg->aboutButton->GetLabel(), "About tessel(&A)...");

  if (const char* shot = std::getenv("TESSEL_UI_SHOT")) {
    // A picture of the dialog for a person to look at.
    wxClientDC src(dlg);
    const wxSize size = dlg->GetClientSize();
    wxBitmap bmp(size.x, size.y);
    wxMemoryDC mem(bmp);
    mem.Blit(0, 0, size.x, size.y, &src, 0, 0);
    mem.SelectObject(wxNullBitmap);
    bmp.SaveFile(shot, wxBITMAP_TYPE_PNG);
  }
}

TEST_F(TesselDialog, StartWithNothingTickedShowsItsBox) {
  dlg->pageFirmware->appTick->SetValue(false);
  settings.bootTicked = 0;
  click(dlg->pageFirmware->startButton);
  EXPECT_EQ(boxes, (std::vector<std::string>{"No select any download file!"}));
  EXPECT_FALSE(firmwareBusy);
}

TEST_F(TesselDialog, StartThenStopDuringWakeUp) {
  BootSimOptions o;
  o.silent = true;
  useSim(o);
  choose(dlg->pageCommSet->portList, 2);
  dlg->pageFirmware->appTick->SetValue(true);
  dlg->pageFirmware->appPath->SetValue(image(100));
  CPageFirmware* fw = dlg->pageFirmware;

  click(fw->startButton);
  EXPECT_FALSE(fw->startButton->IsEnabled());
  EXPECT_TRUE(fw->stopButton->IsEnabled());
  ASSERT_TRUE(pumpUntil([&] { return statusText() == "Connecting..."; }));
  click(fw->startButton);  // a second Start while busy does nothing
  EXPECT_TRUE(firmwareBusy);

  click(fw->stopButton);
  EXPECT_TRUE(fw->startButton->IsEnabled());
  EXPECT_FALSE(fw->stopButton->IsEnabled());
  ASSERT_TRUE(pumpUntil([&] { return !firmwareBusy && statusText() == "User stop download."; }));

  // Start saved the settings it ran with.
  TesselSettings saved;
  ASSERT_EQ(loadSettings((dir + "/config.qcf").c_str(), &saved), SettingsLoad::Loaded);
  EXPECT_EQ(saved.portIndex, 2);
  EXPECT_EQ(saved.appTicked, 1);
  EXPECT_EQ(settingsText(saved.appPath, sizeof saved.appPath), dir + "/app.bin");
}

TEST_F(TesselDialog, DownloadRunsToTheEndWithItsProgressBar) {
  useSim({});
  choose(dlg->pageCommSet->portList, 2);
  dlg->pageFirmware->appTick->SetValue(true);
  dlg->pageFirmware->appPath->SetValue(image(3000));
  click(dlg->pageFirmware->startButton);
  ASSERT_TRUE(pumpUntil([&] { return !firmwareBusy && statusText() == "Download finish."; }));
  pumpUntil([&] { return dlg->pageFirmware->startButton->IsEnabled(); }, 1000);
  EXPECT_EQ(dlg->pageFirmware->progressBar->GetValue(), 100);
  EXPECT_TRUE(dlg->pageFirmware->startButton->IsEnabled());
  EXPECT_FALSE(dlg->pageFirmware->stopButton->IsEnabled());
  sim->stop();
  const BootSimReport r = sim->report();
  ASSERT_EQ(r.appImage.size(), 3000u);
  EXPECT_EQ(r.appImage[2999], static_cast<uint8_t>((2999 * 13) & 0xFF));
  EXPECT_TRUE(r.finished);
}

TEST_F(TesselDialog, TopSpeedQuestionCancelRestoresThePreviousSpeed) {
  CPageCommSet* comm = dlg->pageCommSet;
  choose(comm->speedList, 1);
  EXPECT_EQ(settings.baudIndex, 1);
  traxSelectAnswer = 1;
  {
    ModalAnswer cancel(wxID_CANCEL);
    choose(comm->speedList, 7);
    EXPECT_EQ(cancel.seenText, "There only the PCI card can support the 230400bps, Enter/Cancel?");
    EXPECT_FALSE(cancel.listShown);
  }
  EXPECT_EQ(comm->speedList->GetSelection(), 1);
  EXPECT_EQ(settings.baudIndex, 1);
  EXPECT_EQ(traxSelectAnswer, 1);
  {
    ModalAnswer ok(wxID_OK);
    choose(comm->speedList, 7);
  }
  EXPECT_EQ(comm->speedList->GetSelection(), 7);
  EXPECT_EQ(settings.baudIndex, 7);
  EXPECT_EQ(traxSelectAnswer, 0);
}

TEST_F(TesselDialog, DisabledFlatButtonDrawsItsIconGreyAndNoFrame) {
  CFlatButton* b = dlg->pageFirmware->stopButton;
  const wxSize size(90, 30);
  auto renderAt = [&](int x, int y) {
    wxBitmap bmp(size.x, size.y);
    wxMemoryDC dc(bmp);
    b->Render(dc, size);
    wxColour c;
    dc.GetPixel(x, y, &c);
    return c;
  };
  // The X visual may round a channel by a step or two.
  auto near = [](const wxColour& c, unsigned long rgb) {
    const int r = static_cast<int>(rgb >> 16), g = static_cast<int>((rgb >> 8) & 0xFF),
              bl = static_cast<int>(rgb & 0xFF);
    return std::abs(c.Red() - r) <= 4 && std::abs(c.Green() - g) <= 4 && std::abs(c.Blue() - bl) <= 4;
  };
  b->hovered = true;
  b->Enable();
  EXPECT_TRUE(near(renderAt(0, 0), 0xFFFFFF));  // raised frame while hovered
  b->pressed = true;
  EXPECT_TRUE(near(renderAt(0, 0), 0x606060));  // sunken while pressed
  b->Disable();
  EXPECT_TRUE(near(renderAt(0, 0), kFlatButtonFace));
  EXPECT_TRUE(near(renderAt(size.x - 1, size.y - 1), kFlatButtonFace));
  b->hovered = b->pressed = false;
  b->Enable();
  EXPECT_TRUE(near(renderAt(0, 0), kFlatButtonFace));  // flat when the pointer is away

  // The red cross icon loses its colour when the button is disabled.
  auto colouredPixels = [&] {
    wxBitmap bmp(size.x, size.y);
    {
      wxMemoryDC dc(bmp);
      b->Render(dc, size);
    }
    const wxImage img = bmp.ConvertToImage();
    int n = 0;
    for (int y = 0; y < size.y; ++y)
      for (int x = 0; x < size.x; ++x)
        if (std::abs(img.GetRed(x, y) - img.GetGreen(x, y)) > 24) ++n;
    return n;
  };
  EXPECT_GT(colouredPixels(), 0);
  b->Disable();
  EXPECT_EQ(colouredPixels(), 0);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* display = std::getenv("DISPLAY");
  if (display && *display) g_display = wxEntryStart(argc, argv);
  const int result = RUN_ALL_TESTS();
  if (g_display) wxEntryCleanup();
  return result;
}
