// Message boxes, the end of the program and the process-token operations.
#include <windows.h>

#include "platform/platform.h"
#include "platform/text.h"

namespace kestrana {

std::int32_t showMessageBox(const char* text, std::int32_t flags, const char* caption) {
  // Task-modal with no owner: every window of the program is disabled while
  // the box is up.
  const int result = MessageBoxA(nullptr, text, caption, static_cast<UINT>(flags | kMbTaskModal));
  return answerFromDialogResult(result);
}

void endProgram(std::int32_t exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

TokenHandle openProcessToken(std::uint32_t access) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), access, &token)) return 0;
  return reinterpret_cast<TokenHandle>(token);
}

std::uint64_t lookupPrivilegeValue(const char* name) {
  LUID luid{};
  LookupPrivilegeValueA(nullptr, name, &luid);
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(luid.HighPart)) << 32) | luid.LowPart;
}

void adjustTokenPrivilege(TokenHandle token, std::uint64_t luid, std::uint32_t attributes) {
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid.LowPart = static_cast<DWORD>(luid & 0xFFFFFFFFu);
  privileges.Privileges[0].Luid.HighPart = static_cast<LONG>(luid >> 32);
  privileges.Privileges[0].Attributes = attributes;
  AdjustTokenPrivileges(reinterpret_cast<HANDLE>(token), FALSE, &privileges, 0, nullptr, nullptr);
}

std::uint32_t lastError() { return GetLastError(); }

bool exitWindows(std::uint32_t flags, std::uint32_t reason) { return ExitWindowsEx(flags, reason) != FALSE; }

void closeHandle(TokenHandle handle) {
  if (handle) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

}  // namespace kestrana
