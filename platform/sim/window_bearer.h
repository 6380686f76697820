/*
 * window_bearer.h - the simulator window's modem and WiFi panel (internal to
 * window*.cpp): what the bearer is doing (SIM, attachment, PPP link, radio and
 * joined network) and the controls that change it: pull or insert the SIM,
 * drop the PPP link, add and remove networks.
 *
 * Runs on the window's thread. Changes go through the same commands as the
 * script's modem and wifi lines; the refresh only tries the device mutex.
 */
#ifndef SIM_WINDOW_BEARER_H
#define SIM_WINDOW_BEARER_H

#include <wx/wx.h>

#include <string>
#include <vector>

namespace sim::detail {

class BearerBox {
 public:
  // Builds the panel's widgets inside parent; sizer() places them.
  explicit BearerBox(wxWindow* parent);
  wxSizer* sizer() { return box_; }
  // Shows the device's state when it changed; skips a turn while the device is busy.
  void refresh();
  // The controls, as the window's test hooks reach them.
  wxButton* simButton() { return sim_; }
  wxButton* dropButton() { return drop_; }
  wxButton* addButton() { return add_; }
  wxButton* removeButton() { return remove_; }
  wxTextCtrl* ssidField() { return ssid_; }
  wxTextCtrl* passField() { return pass_; }
  wxTextCtrl* signalField() { return signal_; }
  // Selects the network named ssid in the list; false when it is not there.
  bool selectNetwork(const std::string& ssid);
  // How many times one of the panel's buttons was acted on (test hooks wait on it).
  unsigned long actions() const { return actions_; }

 private:
  // Runs one modem/wifi command; the outcome goes to the panel's note line.
  void command(const std::string& line, const std::string& done);
  void onSim(wxCommandEvent&);
  void onDrop(wxCommandEvent&);
  void onAdd(wxCommandEvent&);
  void onRemove(wxCommandEvent&);

  wxStaticBoxSizer* box_ = nullptr;
  wxStaticText* modem_ = nullptr;
  wxStaticText* wifi_ = nullptr;
  wxStaticText* note_ = nullptr;
  wxButton* sim_ = nullptr;
  wxButton* drop_ = nullptr;
  wxListBox* networks_ = nullptr;
  wxTextCtrl* ssid_ = nullptr;
  wxTextCtrl* pass_ = nullptr;
  wxTextCtrl* signal_ = nullptr;
  wxButton* add_ = nullptr;
  wxButton* remove_ = nullptr;
  bool simPresent_ = true;
  std::vector<std::string> shownNetworks_;
  unsigned long actions_ = 0;
};

}  // namespace sim::detail

#endif  // SIM_WINDOW_BEARER_H
