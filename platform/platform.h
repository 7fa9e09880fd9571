// The program's boundary to Windows: every operation the logic makes on the
// registry, message boxes, windows and controls. Each returns a plain value
// and never throws. The product links the Win32 implementation; the host
// tests link a recording fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/window_layout.h"

namespace kestrana {

// The predefined registry roots, with their Win32 handle values.
enum class RootKey : std::uint32_t {
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
};

// Access masks used by the registry operations.
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;

// MessageBox type bits used by the program.
inline constexpr std::int32_t kMbOk = 0x0;
inline constexpr std::int32_t kMbYesNo = 0x4;
inline constexpr std::int32_t kMbIconError = 0x10;
inline constexpr std::int32_t kMbIconWarning = 0x30;
inline constexpr std::int32_t kMbIconInformation = 0x40;
inline constexpr std::int32_t kMbTaskModal = 0x2000;

// Answer codes of showMessageBox.
enum Answer : std::int32_t {
  kAnswerOk = 0,
  kAnswerCancel = 1,
  kAnswerAbort = 2,
  kAnswerRetry = 3,
  kAnswerIgnore = 4,
  kAnswerYes = 5,
  kAnswerNo = 6,
};

// The path holds key and value name, split at its last backslash. A missing
// key or value, a refused access, a value that is not a 4-byte REG_DWORD or a
// failed read give the default (0 when none is given).
std::int32_t readRegistryNumber(RootKey root, const char* path,
                                std::optional<std::int32_t> defaultValue = std::nullopt);

// Stores the value as REG_DWORD, creating the key when it cannot be opened
// for writing. True when the value was stored.
bool writeRegistryNumber(RootKey root, const char* path, std::int32_t value);

// A task-modal box with no owner. Returns an answer code; 0 when the box
// could not be shown.
std::int32_t showMessageBox(const char* text, std::int32_t flags, const char* caption);

// Creates the window from its description, runs its created handler, shows
// it and, as a dialog, disables the program's other windows and waits in a
// nested message loop until it is gone. False when it could not be created.
bool loadWindow(const WindowLayout& window, bool asDialog = true);

// Asks the window to close; it goes when the message loop next runs.
void closeWindow(const WindowLayout& window);

void setChecked(const WindowLayout& window, int control, bool checked);
bool isChecked(const WindowLayout& window, int control);

// Gives a picture box a copy of the image-file bytes and shows the picture
// decoded from them; bytes that do not decode leave the box empty.
void setPicture(const WindowLayout& window, int control, const unsigned char* bytes,
                std::size_t size);

// Ends the process with the exit code at once.
[[noreturn]] void endProgram(std::int32_t exitCode);

// The process-token and shutdown operations behind the forced restart.
using TokenHandle = std::uintptr_t;
inline constexpr std::uint32_t kTokenAdjustPrivileges = 0x20;
inline constexpr std::uint32_t kTokenQuery = 0x08;
inline constexpr std::uint32_t kSePrivilegeEnabled = 0x2;
inline constexpr std::uint32_t kErrorNotAllAssigned = 1300;
inline constexpr std::uint32_t kEwxReboot = 0x02;
inline constexpr std::uint32_t kEwxForce = 0x04;
inline constexpr std::uint32_t kEwxForceIfHung = 0x10;

// OpenProcessToken on the current process; 0 on failure.
TokenHandle openProcessToken(std::uint32_t access);
// LookupPrivilegeValueA on the local system; the LUID as one 64-bit number.
std::uint64_t lookupPrivilegeValue(const char* name);
// AdjustTokenPrivileges for one privilege, no previous state.
void adjustTokenPrivilege(TokenHandle token, std::uint64_t luid, std::uint32_t attributes);
// GetLastError.
std::uint32_t lastError();
// ExitWindowsEx.
bool exitWindows(std::uint32_t flags, std::uint32_t reason);
void closeHandle(TokenHandle handle);

}  // namespace kestrana
