// The start value of the USB mass-storage driver service: read into the
// three choices of the main window, written back from the checked one, and
// the restart offered after a successful write.
#pragma once

#include <cstdint>

#include "platform/window_layout.h"

namespace kestrana {

// HKEY_LOCAL_MACHINE, key and value name in one text.
inline constexpr char kStartModePath[] = "System\\CurrentControlSet\\Services\\USBstor\\Start";

enum StartMode : std::int32_t {
  kStartAutomatic = 2,  // SERVICE_AUTO_START
  kStartManual = 3,     // SERVICE_DEMAND_START
  kStartDisabled = 4,   // SERVICE_DISABLED
};

// Where the three choices are shown: the window that shows them and the ids
// of its radio buttons. The window hands them down; the policy knows no
// window of its own.
struct StartModeChoices {
  const WindowLayout& window;
  int automatic, manual, disabled;
};

// Reads the stored value once and checks the matching choice.
void showStartMode(const StartModeChoices& choices);
// Writes the checked choice and reports the outcome.
void applyStartMode(const StartModeChoices& choices);
// Asks whether to restart now and, on Yes, requests the restart.
void offerRestart();
// Enables the shutdown privilege and asks Windows to restart; true when the
// request was accepted.
bool forceRestart();

}  // namespace kestrana
