#include <windows.h>

#include "app/gate.h"
#include "platform/text.h"

namespace kestrana {

static_assert(sizeof(OSVERSIONINFOEXA) == 156, "OSVERSIONINFOEXA size");
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA size");

VersionText querySystemVersion() {
  // The first query only decides whether the second is made.
  OSVERSIONINFOEXA extended{};
  extended.dwOSVersionInfoSize = sizeof extended;
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) {
    OSVERSIONINFOA plain{};
    plain.dwOSVersionInfoSize = sizeof plain;
    if (!GetVersionExA(&plain)) return VersionText{};
  }
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  const VersionText unknown{"unknown"};
  if (!kernel) return unknown;
  using GetVersionExFn = BOOL(WINAPI*)(OSVERSIONINFOA*);
  // By way of void (*)(), the one function pointer type that
  // -Wcast-function-type takes as holding any other.
  auto getVersionEx = reinterpret_cast<GetVersionExFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetVersionExA")));
  unsigned major = 0;
  unsigned minor = 0;
  if (!getVersionEx) {
    const DWORD version = GetVersion();
    major = LOBYTE(LOWORD(version));
    minor = HIBYTE(LOWORD(version));
  } else {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!getVersionEx(&info)) return unknown;
    major = info.dwMajorVersion;
    minor = info.dwMinorVersion;
  }
  return formatVersionText(major, minor);
}

}  // namespace kestrana
