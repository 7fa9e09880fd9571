#include "policy/start_mode.h"

#include "platform/platform.h"

namespace kestrana {

namespace {

// The program's only way of setting a choice leaves the others alone, so
// all three are written, always in this order.
void setChoices(const StartModeChoices& choices, bool manual, bool automatic, bool disabled) {
  setChecked(choices.window, choices.manual, manual);
  setChecked(choices.window, choices.automatic, automatic);
  setChecked(choices.window, choices.disabled, disabled);
}

}  // namespace

void showStartMode(const StartModeChoices& choices) {
  switch (readRegistryNumber(RootKey::LocalMachine, kStartModePath)) {
    case kStartAutomatic: setChoices(choices, false, true, false); break;
    case kStartManual: setChoices(choices, true, false, false); break;
    case kStartDisabled: setChoices(choices, false, false, true); break;
    default: break;  // any other value shows no choice
  }
}

void applyStartMode(const StartModeChoices& choices) {
  std::int32_t value;
  if (isChecked(choices.window, choices.automatic)) {
    value = kStartAutomatic;
  } else if (isChecked(choices.window, choices.manual)) {
    value = kStartManual;
  } else if (isChecked(choices.window, choices.disabled)) {
    value = kStartDisabled;
  } else {
    return;
  }
  if (!writeRegistryNumber(RootKey::LocalMachine, kStartModePath, value)) {
    showMessageBox("权限不足。设置失败！", kMbOk | kMbIconError, "发生问题");
    return;
  }
  offerRestart();
}

void offerRestart() {
  const std::int32_t answer = showMessageBox("设置成功，重新启动电脑生效！\r\n现在是否重新启动？",
                                             kMbYesNo | kMbIconInformation, "设置成功");
  if (answer == kAnswerYes) forceRestart();
}

bool forceRestart() {
  const TokenHandle token = openProcessToken(kTokenAdjustPrivileges | kTokenQuery);
  if (!token) return false;
  struct Closer {
    TokenHandle handle;
    ~Closer() { closeHandle(handle); }
  };
  const Closer closer{token};
  const std::uint64_t shutdown = lookupPrivilegeValue("SeShutdownPrivilege");
  adjustTokenPrivilege(token, shutdown, kSePrivilegeEnabled);
  // AdjustTokenPrivileges succeeds even when the account does not hold the
  // privilege; only the last error tells (ERROR_NOT_ALL_ASSIGNED).
  if (lastError() != 0) return false;
  // A restart that lets responsive programs save their work and forces only
  // those that hang; forcing every program would lose the user's unsaved work.
  return exitWindows(kEwxReboot | kEwxForceIfHung, 0);
}

}  // namespace kestrana
