#include <windows.h>

#include "platform/platform.h"
#include "platform/text.h"

namespace kestrana {

namespace {

HKEY rootHandle(RootKey root) {
  switch (root) {
    case RootKey::CurrentUser: return HKEY_CURRENT_USER;
    case RootKey::LocalMachine: return HKEY_LOCAL_MACHINE;
  }
  return HKEY_LOCAL_MACHINE;
}

// Closes the key on every path out of the operation.
class OpenKey {
 public:
  OpenKey() = default;
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

std::int32_t readRegistryNumber(RootKey root, const char* path, std::optional<std::int32_t> defaultValue) {
  const std::int32_t fallback = defaultValue.value_or(0);
  RegistryPath split;
  if (!splitRegistryPath(path ? path : "", split)) return fallback;
  OpenKey key;
  if (RegOpenKeyExA(rootHandle(root), split.key, 0, kKeyRead, key.out()) != ERROR_SUCCESS) return fallback;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), split.value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return fallback;
  }
  // Only a REG_DWORD of exactly four bytes is a number: a shorter one would
  // leave the buffer partly filled.
  if (type != REG_DWORD || size != sizeof(DWORD)) return fallback;
  DWORD data = 0;
  size = sizeof data;
  if (RegQueryValueExA(key.get(), split.value, nullptr, &type, reinterpret_cast<BYTE*>(&data),
                       &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof data) {
    return fallback;
  }
  return static_cast<std::int32_t>(data);
}

bool writeRegistryNumber(RootKey root, const char* path, std::int32_t value) {
  RegistryPath split;
  if (!splitRegistryPath(path ? path : "", split)) return false;
  OpenKey key;
  if (RegOpenKeyExA(rootHandle(root), split.key, 0, kKeyWrite, key.out()) != ERROR_SUCCESS &&
      RegCreateKeyA(rootHandle(root), split.key, key.out()) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD data = static_cast<DWORD>(value);
  return RegSetValueExA(key.get(), split.value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof data) == ERROR_SUCCESS;
}

}  // namespace kestrana
