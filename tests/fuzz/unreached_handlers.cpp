// The window tables name their event handlers, which call into the platform
// and the policy; the keyboard decision reads the tables and never runs a
// handler. These definitions only let the tables link, and stop the fuzzer
// loudly if anything ever does call one.
#include <cstdio>
#include <cstdlib>

#include "app/gate.h"
#include "info/logo.h"
#include "info/web.h"
#include "platform/platform.h"
#include "policy/start_mode.h"

namespace kestrana {

namespace {
[[noreturn]] void unreached(const char* what) {
  std::fprintf(stderr, "keyboard fuzz target: %s was called\n", what);
  std::abort();
}
}  // namespace

const unsigned char kLogoPng[] = {0};
const unsigned kLogoPngSize = 0;

void checkSystemVersion() { unreached("checkSystemVersion"); }
void showStartMode(const StartModeChoices&) { unreached("showStartMode"); }
void applyStartMode(const StartModeChoices&) { unreached("applyStartMode"); }
void openWebAddress(const char*) { unreached("openWebAddress"); }
std::int32_t showMessageBox(const char*, std::int32_t, const char*) { unreached("showMessageBox"); }
bool loadWindow(const WindowLayout&, bool) { unreached("loadWindow"); }
void closeWindow(const WindowLayout&) { unreached("closeWindow"); }
void setPicture(const WindowLayout&, int, const unsigned char*, std::size_t) { unreached("setPicture"); }
void endProgram(std::int32_t) { unreached("endProgram"); }

}  // namespace kestrana
