/*
 * window_bearer.cpp - the simulator window's modem and WiFi panel: the state
 * lines, the SIM and link buttons, and the list of networks in range with the
 * fields that add one.
 */
#include "window_bearer.h"

#include <mutex>

#include "device.h"
#include "radio.h"

namespace sim::detail {

BearerBox::BearerBox(wxWindow* parent) {
  box_ = new wxStaticBoxSizer(wxVERTICAL, parent, "Modem and WiFi");
  wxWindow* sb = box_->GetStaticBox();
  modem_ = new wxStaticText(sb, wxID_ANY, "modem");
  wifi_ = new wxStaticText(sb, wxID_ANY, "wifi");
  box_->Add(modem_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 4);
  box_->Add(wifi_, 0, wxEXPAND | wxLEFT | wxRIGHT, 4);

  wxBoxSizer* modemRow = new wxBoxSizer(wxHORIZONTAL);
  sim_ = new wxButton(sb, wxID_ANY, "Pull SIM");
  sim_->SetToolTip("Take the SIM card out of the modem, or put it back");
  sim_->Bind(wxEVT_BUTTON, &BearerBox::onSim, this);
  modemRow->Add(sim_, 0, wxRIGHT, 4);
  drop_ = new wxButton(sb, wxID_ANY, "Drop link");
  drop_->SetToolTip("The network drops the PPP link (the modem stays attached)");
  drop_->Bind(wxEVT_BUTTON, &BearerBox::onDrop, this);
  modemRow->Add(drop_, 0);
  box_->Add(modemRow, 0, wxALL, 4);

  networks_ = new wxListBox(sb, wxID_ANY, wxDefaultPosition, wxSize(-1, 70));
  networks_->SetToolTip("Networks in range: SSID and signal");
  box_->Add(networks_, 0, wxEXPAND | wxLEFT | wxRIGHT, 4);

  wxBoxSizer* addRow = new wxBoxSizer(wxHORIZONTAL);
  ssid_ = new wxTextCtrl(sb, wxID_ANY, "", wxDefaultPosition, wxSize(90, -1));
  ssid_->SetHint("SSID");
  ssid_->SetMaxLength(32);
  pass_ = new wxTextCtrl(sb, wxID_ANY, "", wxDefaultPosition, wxSize(90, -1));
  pass_->SetHint("pass (none: open)");
  pass_->SetMaxLength(63);
  signal_ = new wxTextCtrl(sb, wxID_ANY, "-50", wxDefaultPosition, wxSize(44, -1));
  signal_->SetMaxLength(4);
  signal_->SetToolTip("Signal as the scan shows it, e.g. -45 or 70%");
  add_ = new wxButton(sb, wxID_ANY, "Add", wxDefaultPosition, wxSize(50, -1));
  add_->Bind(wxEVT_BUTTON, &BearerBox::onAdd, this);
  remove_ = new wxButton(sb, wxID_ANY, "Remove", wxDefaultPosition, wxSize(70, -1));
  remove_->SetToolTip("The selected network goes out of range");
  remove_->Bind(wxEVT_BUTTON, &BearerBox::onRemove, this);
  addRow->Add(ssid_, 1, wxRIGHT, 2);
  addRow->Add(pass_, 1, wxRIGHT, 2);
  addRow->Add(signal_, 0, wxRIGHT, 2);
  addRow->Add(add_, 0, wxRIGHT, 2);
  addRow->Add(remove_, 0);
  box_->Add(addRow, 0, wxEXPAND | wxALL, 4);
  note_ = new wxStaticText(sb, wxID_ANY, "");
  box_->Add(note_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 4);
  refresh();
}

void BearerBox::refresh() {
  std::unique_lock<std::recursive_mutex> lock(mutex(), std::try_to_lock);
  if (!lock.owns_lock()) return;
  const Radio& r = radio();
  wxString modem = wxString::Format("Modem: %s, %s, PPP %s", r.simPresent ? "SIM in" : "no SIM",
                                    r.attached ? "attached" : "not attached", r.pppUp ? "up" : "down");
  wxString wifi = !r.wifiOpen ? wxString("WiFi: radio off")
                  : r.joined.empty() ? wxString("WiFi: on, no network joined")
                                     : wxString::Format("WiFi: joined %s", r.joined);
  std::vector<std::string> nets;
  for (const WifiNetwork& n : r.networks)
    nets.push_back(n.ssid + "   " + n.signal + (n.pass.empty() ? "   open" : "") +
                   (n.busyLeft > 0 ? "   busy " + std::to_string(n.busyLeft) : ""));
  bool simPresent = r.simPresent;
  lock.unlock();

  if (modem_->GetLabel() != modem) modem_->SetLabel(modem);
  if (wifi_->GetLabel() != wifi) wifi_->SetLabel(wifi);
  if (simPresent != simPresent_ || sim_->GetLabel().empty()) {
    simPresent_ = simPresent;
    sim_->SetLabel(simPresent ? "Pull SIM" : "Insert SIM");
  }
  if (nets != shownNetworks_) {
    wxString selected = networks_->GetStringSelection();
    networks_->Clear();
    for (const std::string& n : nets) networks_->Append(wxString::FromUTF8(n));
    if (!selected.empty()) networks_->SetStringSelection(selected);
    shownNetworks_ = nets;
  }
}

bool BearerBox::selectNetwork(const std::string& ssid) {
  refresh();
  for (unsigned i = 0; i < networks_->GetCount(); ++i)
    if (networks_->GetString(i).ToStdString().rfind(ssid + " ", 0) == 0) {
      networks_->SetSelection(static_cast<int>(i));
      return true;
    }
  return false;
}

void BearerBox::command(const std::string& line, const std::string& done) {
  std::string why;
  std::vector<std::string> words;
  std::string word;
  for (char c : line + " ") {
    if (c == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  std::string device = words.empty() ? "" : words[0];
  if (!words.empty()) words.erase(words.begin());
  bool ok = radioCommand(device, words, true, &why);
  note_->SetLabel(ok ? wxString(done) : wxString::FromUTF8(why));
  refresh();
}

void BearerBox::onSim(wxCommandEvent&) {
  ++actions_;
  command(simPresent_ ? "modem nosim" : "modem sim", simPresent_ ? "SIM pulled" : "SIM inserted");
}

void BearerBox::onDrop(wxCommandEvent&) {
  ++actions_;
  command("modem drop", "PPP link dropped");
}

void BearerBox::onAdd(wxCommandEvent&) {
  ++actions_;
  std::string ssid = ssid_->GetValue().ToStdString(), pass = pass_->GetValue().ToStdString(),
              signal = signal_->GetValue().ToStdString();
  if (ssid.find(' ') != std::string::npos || pass.find(' ') != std::string::npos) {
    note_->SetLabel("SSID and pass phrase take no spaces");
    return;
  }
  if (ssid.empty() || signal.empty()) {
    note_->SetLabel("a network needs an SSID and a signal");
    return;
  }
  command("wifi add " + ssid + " " + (pass.empty() ? "-" : pass) + " " + signal, "network " + ssid + " added");
}

void BearerBox::onRemove(wxCommandEvent&) {
  ++actions_;
  wxString chosen = networks_->GetStringSelection();
  if (chosen.empty()) {
    note_->SetLabel("choose a network in the list first");
    return;
  }
  std::string ssid = chosen.ToStdString().substr(0, chosen.ToStdString().find(' '));
  command("wifi remove " + ssid, "network " + ssid + " removed");
}

}  // namespace sim::detail
