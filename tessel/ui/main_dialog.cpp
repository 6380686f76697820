// CTesselDlg, the main dialog, and CTesselApp, which runs it.
#include <wx/artprov.h>

#include "serial.h"
#include "tessel_windows.h"

CTesselDlg* CTesselDlg::mainDialog = nullptr;

namespace {
enum { ID_ABOUT = wxID_HIGHEST + 100 };
}

CTesselDlg::CTesselDlg(const wxString& startDir, wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "tessel", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxMINIMIZE_BOX) {
  settingsPath = settingsPathIn(startDir.utf8_string().c_str());
  settingsLoad = loadSettings(settingsPath.c_str(), &settings);

  SetIcon(wxArtProvider::GetIcon(wxART_EXECUTABLE_FILE, wxART_FRAME_ICON));
  auto* top = new wxBoxSizer(wxVERTICAL);
  sheet = new wxNotebook(this, wxID_ANY);
  pageFirmware = new CPageFirmware(sheet);
  pageCommSet = new CPageCommSet(sheet);
  sheet->AddPage(pageFirmware, "Firmware", true);
  sheet->AddPage(pageCommSet, "Comm set");
  top->Add(sheet, 1, wxEXPAND | wxALL, 4);

  // GTK gives a dialog no system menu to add to, so the About item is a
  // button under the pages.
  aboutButton = new CFlatButton(this, ID_ABOUT, "About tessel(&A)...");
  aboutButton->SetIcon(wxArtProvider::GetBitmap(wxART_INFORMATION, wxART_BUTTON, wxSize(16, 16)));
  top->Add(aboutButton, 0, wxALIGN_RIGHT | wxRIGHT | wxBOTTOM, 6);
  SetSizer(top);
  SetClientSize(ConvertDialogToPixels(wxSize(377, 245)));
  Layout();

  pageFirmware->LoadFrom(settings);
  pageCommSet->LoadFrom(settings);
  mainDialog = this;

  Bind(wxEVT_CLOSE_WINDOW, &CTesselDlg::OnClose, this);
  Bind(wxEVT_BUTTON, &CTesselDlg::OnAbout, this, ID_ABOUT);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); }, wxID_CANCEL);
  SetEscapeId(wxID_NONE);  // Escape must not tear the dialog down mid-download

  if (settingsLoad == SettingsLoad::CreateFailed) {
    // The program goes on with the defaults in memory.
    CallAfter([this] {
      tesselBox(this, "There has a fatal error in reading configure file, close the application please!");
    });
  }
}

CTesselDlg::~CTesselDlg() {
  Shutdown();
  if (mainDialog == this) mainDialog = nullptr;
}

void CTesselDlg::CollectSettings() {
  pageFirmware->CollectInto(&settings);
  pageCommSet->CollectInto(&settings);
}

bool CTesselDlg::SaveSettings() { return saveSettings(settingsPath.c_str(), settings); }

void CTesselDlg::ShowAbout() {
  CAboutDlg about(this);
  about.ShowModal();
}

void CTesselDlg::OnAbout(wxCommandEvent&) { ShowAbout(); }

void CTesselDlg::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  firmwareStopRequest = true;
  wxMilliSleep(kFinishSettleMs);
  // The worker owns the port while it runs; a transfer under way ends by
  // itself, and the page (its sink) must outlive it.
  joinFirmwareWorker();
  serialClose();
}

void CTesselDlg::OnClose(wxCloseEvent&) {
  Shutdown();
  if (IsModal()) {
    EndModal(wxID_CANCEL);
  } else {
    Destroy();
  }
}

bool CTesselApp::OnInit() {
  // The settings file lives in the directory current at start-up.
  auto* dlg = new CTesselDlg(wxGetCwd());
  SetTopWindow(dlg);
  return true;
}

int CTesselApp::OnRun() {
  auto* dlg = CTesselDlg::mainDialog;
  if (dlg) {
    dlg->ShowModal();
    dlg->Destroy();
  }
  return 0;
}

wxIMPLEMENT_APP_NO_MAIN(CTesselApp);

int tesselRunWindows(int argc, char** argv) { return wxEntry(argc, argv); }
