// The "Firmware" and "Comm set" pages.
#include <wx/artprov.h>
#include <wx/filedlg.h>

#include <cstring>

#include "comports.h"
#include "serial.h"
#include "tessel_windows.h"

namespace {

enum {
  ID_BOOT_TICK = wxID_HIGHEST + 1,
  ID_APP_TICK,
  ID_BOOT_BROWSE,
  ID_APP_BROWSE,
  ID_START,
  ID_STOP,
};

CFlatButton* flatButton(wxWindow* parent, wxWindowID id, const wxString& caption, const wxArtID& art) {
  auto* b = new CFlatButton(parent, id, caption);
  b->SetIcon(wxArtProvider::GetBitmap(art, wxART_BUTTON, wxSize(16, 16)));
  b->SetColours(*wxBLACK, wxColour(kFlatButtonFace), wxColour(kFlatButtonFace));
  return b;
}

// The worker's link boxes ("<CE-%u>", "Failed to receive data!") go to the
// firmware page on the interface thread.
void linkBoxToPage(const char* text, const char* title) {
  const wxString t = wxString::FromUTF8(text), ti = wxString::FromUTF8(title);
  CTesselDlg* dlg = CTesselDlg::mainDialog;
  if (!dlg) return;
  CPageFirmware* page = dlg->pageFirmware;
  page->CallAfter([page, t, ti] { tesselBox(page, t, ti); });
}

}  // namespace

// ---- Firmware -----------------------------------------------------------------

CPageFirmware::CPageFirmware(wxWindow* parent) : wxPanel(parent, wxID_ANY) {
  auto* top = new wxBoxSizer(wxVERTICAL);
  auto* group = new wxStaticBoxSizer(wxVERTICAL, this, "Select download file");
  wxWindow* box = group->GetStaticBox();

  auto* bootRow = new wxBoxSizer(wxHORIZONTAL);
  bootTick = new wxCheckBox(box, ID_BOOT_TICK, "boot");
  bootPath = new wxTextCtrl(box, wxID_ANY);
  bootBrowse = flatButton(box, ID_BOOT_BROWSE, "...", wxART_FILE_OPEN);
  bootRow->Add(bootTick, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
  bootRow->Add(bootPath, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
  bootRow->Add(bootBrowse, 0, wxALIGN_CENTER_VERTICAL);
  group->Add(bootRow, 0, wxEXPAND | wxALL, 4);
  // Present but not shown; a "boot" tick stored in the settings still counts.
  bootTick->Hide();
  bootPath->Hide();
  bootBrowse->Hide();

  auto* appRow = new wxBoxSizer(wxHORIZONTAL);
  appTick = new wxCheckBox(box, ID_APP_TICK, "app");
  appPath = new wxTextCtrl(box, wxID_ANY);
  appBrowse = flatButton(box, ID_APP_BROWSE, "...", wxART_FILE_OPEN);
  appRow->Add(appTick, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
  appRow->Add(appPath, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
  appRow->Add(appBrowse, 0, wxALIGN_CENTER_VERTICAL);
  group->Add(appRow, 0, wxEXPAND | wxALL, 4);
  top->Add(group, 0, wxEXPAND | wxALL, 8);

  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  startButton = flatButton(this, ID_START, "Start", wxART_GO_FORWARD);
  stopButton = flatButton(this, ID_STOP, "Stop", wxART_CROSS_MARK);
  stopButton->Disable();
  buttons->AddStretchSpacer();
  buttons->Add(startButton, 0, wxRIGHT, 8);
  buttons->Add(stopButton, 0);
  top->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT, 8);

  progressBar = new wxGauge(this, wxID_ANY, 100);
  top->Add(progressBar, 0, wxEXPAND | wxALL, 8);
  statusLine = new wxStaticText(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE);
  top->Add(statusLine, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
  SetSizer(top);

  Bind(wxEVT_CHECKBOX, &CPageFirmware::OnTick, this, ID_BOOT_TICK);
  Bind(wxEVT_CHECKBOX, &CPageFirmware::OnTick, this, ID_APP_TICK);
  Bind(wxEVT_BUTTON, &CPageFirmware::OnBrowseBoot, this, ID_BOOT_BROWSE);
  Bind(wxEVT_BUTTON, &CPageFirmware::OnBrowseApp, this, ID_APP_BROWSE);
  Bind(wxEVT_BUTTON, &CPageFirmware::OnStart, this, ID_START);
  Bind(wxEVT_BUTTON, &CPageFirmware::OnStop, this, ID_STOP);

  downloadSetSink(this);
  linkSetBoxHook(linkBoxToPage);
}

CPageFirmware::~CPageFirmware() {
  // The dialog has joined the worker before the page goes.
  downloadSetSink(nullptr);
  linkSetBoxHook(nullptr);
}

void CPageFirmware::LoadFrom(const TesselSettings& rec) {
  bootTick->SetValue(rec.bootTicked != 0);
  appTick->SetValue(rec.appTicked != 0);
  bootPath->SetValue(wxString::FromUTF8(settingsText(rec.bootPath, sizeof rec.bootPath)));
  appPath->SetValue(wxString::FromUTF8(settingsText(rec.appPath, sizeof rec.appPath)));
}

void CPageFirmware::CollectInto(TesselSettings* rec) const {
  rec->bootTicked = bootTick->GetValue() ? 1 : 0;
  rec->appTicked = appTick->GetValue() ? 1 : 0;
  settingsSetText(rec->bootPath, sizeof rec->bootPath, bootPath->GetValue().utf8_string());
  settingsSetText(rec->appPath, sizeof rec->appPath, appPath->GetValue().utf8_string());
}

void CPageFirmware::status(const char* text) {
  const wxString t = wxString::FromUTF8(text);
  CallAfter([this, t] { statusLine->SetLabel(t); });
}

void CPageFirmware::box(const char* text) {
  const wxString t = wxString::FromUTF8(text);
  CallAfter([this, t] { tesselBox(this, t); });
}

void CPageFirmware::progress(int percent) {
  CallAfter([this, percent] { progressBar->SetValue(percent < 0 ? 0 : percent > 100 ? 100 : percent); });
}

void CPageFirmware::running(bool busy) {
  CallAfter([this, busy] {
    startButton->Enable(!busy);
    stopButton->Enable(busy);
  });
}

void CPageFirmware::OnTick(wxCommandEvent&) {
  CollectInto(&settings);
}

void CPageFirmware::OnBrowseBoot(wxCommandEvent&) {
  wxFileDialog dlg(this, "Open File", "", "", "Open File (*.bin)|*.bin", wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (dlg.ShowModal() == wxID_OK) bootPath->SetValue(dlg.GetPath());
}

void CPageFirmware::OnBrowseApp(wxCommandEvent&) {
  wxFileDialog dlg(this, "Open File", "", "", "Open File (*.bin;*.apk;*.zip)|*.bin;*.apk;*.zip",
                   wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (dlg.ShowModal() == wxID_OK) appPath->SetValue(dlg.GetPath());
}

void CPageFirmware::OnStart(wxCommandEvent&) {
  if (firmwareBusy) return;
  CTesselDlg* dlg = CTesselDlg::mainDialog;
  if (dlg) {
    dlg->CollectSettings();
    dlg->SaveSettings();
  } else {
    CollectInto(&settings);
  }
  DownloadJob job;
  job.comPort = static_cast<unsigned>(settings.portIndex) + 1;
  job.boot = settings.bootTicked != 0;
  job.app = settings.appTicked != 0;
  std::memcpy(job.bootPath, settings.bootPath, sizeof job.bootPath);
  std::memcpy(job.appPath, settings.appPath, sizeof job.appPath);
  job.bootPath[sizeof job.bootPath - 1] = '\0';
  job.appPath[sizeof job.appPath - 1] = '\0';
  if (!job.boot && !job.app) {
    tesselBox(this, "No select any download file!");
    return;
  }
  progressBar->SetValue(0);
  // Start and Stop change at once; the worker confirms through running().
  if (startFirmwareWorker(job)) {
    startButton->Disable();
    stopButton->Enable();
  }
}

void CPageFirmware::OnStop(wxCommandEvent&) {
  firmwareStopRequest = true;
  startButton->Enable();
  stopButton->Disable();
}

// ---- Comm set -----------------------------------------------------------------

CPageCommSet::CPageCommSet(wxWindow* parent) : wxPanel(parent, wxID_ANY) {
  auto* grid = new wxFlexGridSizer(2, 8, 8);
  portList = new wxChoice(this, wxID_ANY);
  for (unsigned n = 1; n <= kComPortsListed; ++n) {
    char device[256];
    wxString item = wxString::Format("COM%u", n);
    if (comPortDevice(n, device, sizeof device) && std::strncmp(device, "\\\\.\\", 4) != 0)
      item += wxString::Format(" (%s)", wxString::FromUTF8(device));
    portList->Append(item);
  }
  speedList = new wxChoice(this, wxID_ANY);
  for (uint32_t baud : kBaudRates) speedList->Append(wxString::Format("%u", baud));
  grid->Add(new wxStaticText(this, wxID_ANY, "Port"), 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(portList, 1, wxEXPAND);
  grid->Add(new wxStaticText(this, wxID_ANY, "Speed"), 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(speedList, 1, wxEXPAND);
  grid->AddGrowableCol(1);

  serialRadio = new wxRadioButton(this, wxID_ANY, "Serial port", wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
  usbRadio = new wxRadioButton(this, wxID_ANY, "USB");
  usbRadio->Disable();
  auto* radios = new wxBoxSizer(wxHORIZONTAL);
  radios->Add(serialRadio, 0, wxRIGHT, 16);
  radios->Add(usbRadio, 0);

  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(grid, 0, wxEXPAND | wxALL, 12);
  top->Add(radios, 0, wxALL, 12);
  SetSizer(top);

  portList->Bind(wxEVT_CHOICE, &CPageCommSet::OnPort, this);
  speedList->Bind(wxEVT_CHOICE, &CPageCommSet::OnSpeed, this);
  serialRadio->Bind(wxEVT_RADIOBUTTON, &CPageCommSet::OnTransport, this);
  usbRadio->Bind(wxEVT_RADIOBUTTON, &CPageCommSet::OnTransport, this);
}

void CPageCommSet::LoadFrom(const TesselSettings& rec) {
  // Values from a file outside the lists fall back to the first entry.
  const bool portOk = rec.portIndex >= 0 && rec.portIndex < static_cast<int32_t>(kComPortsListed);
  const bool speedOk = rec.baudIndex >= 0 && rec.baudIndex < 8;
  portList->SetSelection(portOk ? rec.portIndex : 0);
  speedList->SetSelection(speedOk ? rec.baudIndex : 0);
  lastSpeed_ = speedList->GetSelection();
  (rec.transport == 1 ? usbRadio : serialRadio)->SetValue(true);
}

void CPageCommSet::CollectInto(TesselSettings* rec) const {
  rec->portIndex = portList->GetSelection() < 0 ? 0 : portList->GetSelection();
  rec->baudIndex = speedList->GetSelection() < 0 ? 0 : speedList->GetSelection();
  rec->transport = usbRadio->GetValue() ? 1 : 0;
}

void CPageCommSet::OnPort(wxCommandEvent&) { CollectInto(&settings); }

void CPageCommSet::OnTransport(wxCommandEvent&) { CollectInto(&settings); }

void CPageCommSet::OnSpeed(wxCommandEvent&) {
  if (speedList->GetSelection() == kBaudIndex230400 && lastSpeed_ != kBaudIndex230400) {
    traxSelectMode = kTraxModeSpeedQuestion;
    CTRAXSelect question(this);
    if (question.ShowModal() != wxID_OK) {
      speedList->SetSelection(lastSpeed_);
      return;
    }
  }
  lastSpeed_ = speedList->GetSelection();
  CollectInto(&settings);
}
