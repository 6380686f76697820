// CTRAXSelect (the question dialog), CAboutDlg, and the page boxes.
#include <wx/artprov.h>

#include "tessel_windows.h"

int traxSelectMode = 0;
int traxSelectAnswer = 1;

namespace {
TesselBoxHook g_boxHook;
}

void setTesselBoxHook(TesselBoxHook hook) { g_boxHook = std::move(hook); }

void tesselBox(wxWindow* owner, const wxString& text, const wxString& title) {
  if (g_boxHook) {
    g_boxHook(owner, text, title);
    return;
  }
  wxMessageBox(text, title, wxOK, owner);
}

CTRAXSelect::CTRAXSelect(wxWindow* parent) : wxDialog(parent, wxID_ANY, "Please select") {
  auto* top = new wxBoxSizer(wxVERTICAL);
  prompt = new wxStaticText(this, wxID_ANY, "");
  question = new wxStaticText(this, wxID_ANY, "");
  list = new wxChoice(this, wxID_ANY);
  edit = new wxTextCtrl(this, wxID_ANY);
  top->Add(prompt, 0, wxALL, 8);
  top->Add(question, 0, wxLEFT | wxRIGHT | wxEXPAND, 8);
  top->Add(list, 0, wxALL | wxEXPAND, 8);
  top->Add(edit, 0, wxLEFT | wxRIGHT | wxEXPAND, 8);
  auto* buttons = new wxStdDialogButtonSizer();
  buttons->AddButton(new wxButton(this, wxID_OK, "OK"));
  buttons->AddButton(new wxButton(this, wxID_CANCEL, "Cancel"));
  buttons->Realize();
  top->Add(buttons, 0, wxALL | wxALIGN_RIGHT, 8);

  if (traxSelectMode == kTraxModeSpeedQuestion) {
    question->SetLabel("There only the PCI card can support the 230400bps, Enter/Cancel?");
    list->Hide();
    edit->Hide();
  }
  SetSizerAndFit(top);
  Bind(wxEVT_BUTTON, &CTRAXSelect::OnOK, this, wxID_OK);
  CentreOnParent();
}

void CTRAXSelect::OnOK(wxCommandEvent&) {
  if (traxSelectMode == kTraxModeSpeedQuestion) traxSelectAnswer = 0;
  EndModal(wxID_OK);
}

CAboutDlg::CAboutDlg(wxWindow* parent) : wxDialog(parent, wxID_ANY, "About tessel") {
  auto* top = new wxBoxSizer(wxVERTICAL);
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  row->Add(new wxStaticBitmap(this, wxID_ANY, wxArtProvider::GetBitmap(wxART_INFORMATION, wxART_MESSAGE_BOX)), 0,
           wxALL, 10);
  auto* lines = new wxBoxSizer(wxVERTICAL);
  lines->Add(new wxStaticText(this, wxID_ANY, "tessel Version 1.0"), 0, wxBOTTOM, 4);
  lines->Add(new wxStaticText(this, wxID_ANY, "Firmware download tool for payment terminals"), 0, wxBOTTOM, 4);
  lines->Add(new wxStaticText(this, wxID_ANY, "Serial link, XOR and CRC-32 framings"), 0);
  row->Add(lines, 1, wxALL, 10);
  top->Add(row, 1, wxEXPAND);
  top->Add(new wxButton(this, wxID_OK, "OK"), 0, wxALL | wxALIGN_RIGHT, 10);
  SetSizerAndFit(top);
  CentreOnParent();
}
