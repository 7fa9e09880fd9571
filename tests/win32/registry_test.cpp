// readRegistryNumber and writeRegistryNumber against the real registry of
// the Wine prefix. Every case works below Software\KestranaTest\<case>,
// removed before and after it.
#include <windows.h>
#include <sddl.h>

#include <climits>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"

using kestrana::readRegistryNumber;
using kestrana::RootKey;
using kestrana::writeRegistryNumber;

namespace {

constexpr std::int32_t kDefault = 77;

const char* rootName(HKEY root) { return root == HKEY_CURRENT_USER ? "HKCU" : "HKLM"; }

// Gives the key (if a case left it locked) a DACL that lets anyone do anything.
void unlockKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) return;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;KA;;;WD)", SDDL_REVISION_1, &sd, nullptr)) {
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
  }
  RegCloseKey(key);
}

void deleteTree(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key);
  if (status == ERROR_ACCESS_DENIED) {
    unlockKey(root, path);
    status = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key);
  }
  if (status != ERROR_SUCCESS) return;
  std::vector<std::string> children;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.emplace_back(name, length);
  }
  RegCloseKey(key);
  for (const auto& child : children) deleteTree(root, path + "\\" + child);
  RegDeleteKeyA(root, path.c_str());
}

bool keyExists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// Stores a value of any type and size straight through the API; a failure
// is reported at the caller's line.
void putValue(const char* file, int line, HKEY root, const std::string& keyPath, const char* name, DWORD type,
              const std::vector<BYTE>& bytes) {
  HKEY key = nullptr;
  const LONG created = RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (created != ERROR_SUCCESS) {
    ADD_FAILURE_AT(file, line) << "cannot create " << rootName(root) << "\\" << keyPath << ": error " << created;
    return;
  }
  const LONG set = RegSetValueExA(key, name, 0, type, bytes.empty() ? nullptr : bytes.data(),
                                  static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
  if (set != ERROR_SUCCESS) {
    ADD_FAILURE_AT(file, line) << "cannot set " << keyPath << "\\" << name << " (type " << type << ", "
                               << bytes.size() << " bytes): error " << set;
  }
}
#define PUT_VALUE(...) putValue(__FILE__, __LINE__, __VA_ARGS__)

struct RawValue {
  LONG status = ERROR_FILE_NOT_FOUND;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

RawValue rawValue(HKEY root, const std::string& keyPath, const char* name) {
  RawValue raw;
  HKEY key = nullptr;
  raw.status = RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, &key);
  if (raw.status != ERROR_SUCCESS) return raw;
  DWORD size = 0;
  raw.status = RegQueryValueExA(key, name, nullptr, &raw.type, nullptr, &size);
  if (raw.status == ERROR_SUCCESS) {
    raw.bytes.resize(size);
    raw.status = RegQueryValueExA(key, name, nullptr, &raw.type, raw.bytes.data(), &size);
    raw.bytes.resize(size);
  }
  RegCloseKey(key);
  return raw;
}

std::vector<BYTE> dwordBytes(std::uint32_t v) {
  return {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 24)};
}

std::string hexBytes(const std::vector<BYTE>& bytes) {
  std::string out;
  char byte[4];
  for (BYTE b : bytes) {
    std::snprintf(byte, sizeof byte, "%02x ", b);
    out += byte;
  }
  return out.empty() ? "(none)" : out.substr(0, out.size() - 1);
}

// Checks one stored value as the program's writer must leave it: a
// REG_DWORD of exactly four little-endian bytes.
void expectStoredDword(const char* file, int line, HKEY root, const std::string& keyPath, const char* name,
                       std::int32_t expected) {
  const RawValue raw = rawValue(root, keyPath, name);
  const std::vector<BYTE> want = dwordBytes(static_cast<std::uint32_t>(expected));
  if (raw.status != ERROR_SUCCESS) {
    ADD_FAILURE_AT(file, line) << "expected " << keyPath << "\\" << name << " to be stored, reading it gave error "
                               << raw.status;
    return;
  }
  if (raw.type != REG_DWORD || raw.bytes != want) {
    ADD_FAILURE_AT(file, line) << keyPath << "\\" << name << ": expected type 4 (REG_DWORD) bytes " << hexBytes(want)
                               << ", got type " << raw.type << " bytes " << hexBytes(raw.bytes);
  }
}
#define EXPECT_STORED_DWORD(...) expectStoredDword(__FILE__, __LINE__, __VA_ARGS__)

// The program's read, without and with a default, at the caller's line.
void expectRead(const char* file, int line, RootKey root, const std::string& path, std::int32_t expected,
                std::int32_t expectedWithDefault) {
  const std::int32_t plain = readRegistryNumber(root, path.c_str());
  if (plain != expected) {
    ADD_FAILURE_AT(file, line) << "readRegistryNumber(" << path << "): expected " << expected << " got " << plain;
  }
  const std::int32_t withDefault = readRegistryNumber(root, path.c_str(), kDefault);
  if (withDefault != expectedWithDefault) {
    ADD_FAILURE_AT(file, line) << "readRegistryNumber(" << path << ", default " << kDefault << "): expected "
                               << expectedWithDefault << " got " << withDefault;
  }
}
#define EXPECT_READ(...) expectRead(__FILE__, __LINE__, __VA_ARGS__)

// A key DACL set for the length of one case, put back however the case ends.
// The handle keeps the WRITE_DAC it was opened with, so the DACL can be put
// back even when it no longer grants that right.
class KeyDaclGuard {
 public:
  KeyDaclGuard(HKEY root, const std::string& path, const char* sddl) {
    status_ = RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC | READ_CONTROL, &key_);
    if (status_ != ERROR_SUCCESS) return;
    status_ = setDacl(sddl);
  }
  ~KeyDaclGuard() {
    if (key_) {
      setDacl("D:(A;;KA;;;WD)");
      RegCloseKey(key_);
    }
  }
  KeyDaclGuard(const KeyDaclGuard&) = delete;
  KeyDaclGuard& operator=(const KeyDaclGuard&) = delete;
  LONG status() const { return status_; }

 private:
  LONG setDacl(const char* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) {
      return static_cast<LONG>(GetLastError());
    }
    const LONG result = RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
    return result;
  }
  HKEY key_ = nullptr;
  LONG status_ = ERROR_INVALID_HANDLE;
};

LONG openStatus(HKEY root, const std::string& path, REGSAM access) {
  HKEY key = nullptr;
  const LONG status = RegOpenKeyExA(root, path.c_str(), 0, access, &key);
  if (key) RegCloseKey(key);
  return status;
}

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    base_ = std::string("Software\\KestranaTest\\") + testing::UnitTest::GetInstance()->current_test_info()->name();
    deleteTree(HKEY_CURRENT_USER, base_);
    deleteTree(HKEY_LOCAL_MACHINE, base_);
    ASSERT_FALSE(keyExists(HKEY_CURRENT_USER, base_)) << "scratch key left from an earlier run cannot be removed";
  }
  void TearDown() override {
    deleteTree(HKEY_CURRENT_USER, base_);
    deleteTree(HKEY_LOCAL_MACHINE, base_);
  }
  std::string base_;
};

}  // namespace

// Only a four-byte REG_DWORD is a number: text, wider, narrower and
// differently typed data must come back as the default, never half-read.
TEST_F(RegistryTest, ReadGivesOnlyFourByteDwordsElseDefault) {
  struct Case {
    const char* what;
    DWORD type;
    std::vector<BYTE> bytes;
    std::int32_t expected;
    std::int32_t expectedWithDefault;
  };
  const std::vector<Case> cases = {
      {"REG_DWORD 3", REG_DWORD, dwordBytes(3), 3, 3},
      {"REG_DWORD 4", REG_DWORD, dwordBytes(4), 4, 4},
      {"REG_DWORD 0 is a stored number, not a missing one", REG_DWORD, dwordBytes(0), 0, 0},
      {"REG_DWORD 0xFFFFFFFF is -1", REG_DWORD, dwordBytes(0xFFFFFFFFu), -1, -1},
      {"REG_DWORD 0x80000000 is INT_MIN", REG_DWORD, dwordBytes(0x80000000u), INT_MIN, INT_MIN},
      {"REG_SZ \"3\"", REG_SZ, {'3', 0}, 0, kDefault},
      {"REG_SZ of exactly four bytes", REG_SZ, {'3', '3', '3', 0}, 0, kDefault},
      {"REG_EXPAND_SZ \"3\"", REG_EXPAND_SZ, {'3', 0}, 0, kDefault},
      {"REG_MULTI_SZ \"3\"", REG_MULTI_SZ, {'3', 0, 0}, 0, kDefault},
      {"REG_QWORD 3", REG_QWORD, {3, 0, 0, 0, 0, 0, 0, 0}, 0, kDefault},
      {"REG_BINARY of four bytes 03 00 00 00", REG_BINARY, dwordBytes(3), 0, kDefault},
      {"REG_DWORD_BIG_ENDIAN 3", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 3}, 0, kDefault},
      {"REG_NONE of four bytes", REG_NONE, dwordBytes(3), 0, kDefault},
      // 34 12 read into a partly filled buffer would show up as 0x1234.
      {"REG_DWORD of 2 bytes", REG_DWORD, {0x34, 0x12}, 0, kDefault},
      // The first four bytes alone would read as 3.
      {"REG_DWORD of 6 bytes", REG_DWORD, {3, 0, 0, 0, 5, 6}, 0, kDefault},
      {"REG_DWORD of 0 bytes", REG_DWORD, {}, 0, kDefault},
  };
  const std::string key = base_ + "\\Services\\USBstor";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.what);
    const std::string name = "Value" + std::to_string(i);
    PUT_VALUE(HKEY_CURRENT_USER, key, name.c_str(), c.type, c.bytes);
    const RawValue stored = rawValue(HKEY_CURRENT_USER, key, name.c_str());
    ASSERT_EQ(stored.type, c.type) << "the value was not stored as intended";
    ASSERT_EQ(hexBytes(stored.bytes), hexBytes(c.bytes)) << "the value was not stored as intended";
    EXPECT_READ(RootKey::CurrentUser, key + "\\" + name, c.expected, c.expectedWithDefault);
  }
}

// A missing value, key or chain of keys is the default, not an error value.
TEST_F(RegistryTest, ReadOfMissingValueOrKeyGivesDefault) {
  const std::string key = base_ + "\\Services\\USBstor";
  PUT_VALUE(HKEY_CURRENT_USER, key, "Start", REG_DWORD, dwordBytes(3));
  EXPECT_READ(RootKey::CurrentUser, key + "\\Start", 3, 3);  // the key is readable
  EXPECT_READ(RootKey::CurrentUser, key + "\\Missing", 0, kDefault);
  EXPECT_READ(RootKey::CurrentUser, key + "\\NoSuchKey\\Start", 0, kDefault);
  EXPECT_READ(RootKey::CurrentUser, base_ + "\\No\\Such\\Levels\\Start", 0, kDefault);
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, base_ + "\\No")) << "a read must not create keys";
}

// The root argument must reach the registry: a value under one root is not
// seen under the other.
TEST_F(RegistryTest, ReadAndWriteUseTheGivenRoot) {
  const std::string key = base_ + "\\Services\\USBstor";
  PUT_VALUE(HKEY_LOCAL_MACHINE, key, "Start", REG_DWORD, dwordBytes(2));
  EXPECT_READ(RootKey::LocalMachine, key + "\\Start", 2, 2);
  EXPECT_READ(RootKey::CurrentUser, key + "\\Start", 0, kDefault);

  EXPECT_TRUE(writeRegistryNumber(RootKey::LocalMachine, (key + "\\Written").c_str(), 4));
  EXPECT_STORED_DWORD(HKEY_LOCAL_MACHINE, key, "Written", 4);
  EXPECT_EQ(rawValue(HKEY_CURRENT_USER, key, "Written").status, ERROR_FILE_NOT_FOUND)
      << "a write to HKLM landed under HKCU";
}

// A key the account may not read is reported like a missing one.
TEST_F(RegistryTest, ReadRefusedGivesDefault) {
  const std::string key = base_ + "\\Locked";
  PUT_VALUE(HKEY_CURRENT_USER, key, "Start", REG_DWORD, dwordBytes(3));
  EXPECT_READ(RootKey::CurrentUser, key + "\\Start", 3, 3);
  {
    KeyDaclGuard guard(HKEY_CURRENT_USER, key, "D:P");
    ASSERT_EQ(guard.status(), ERROR_SUCCESS) << "cannot lock the key";
    ASSERT_EQ(openStatus(HKEY_CURRENT_USER, key, KEY_READ), ERROR_ACCESS_DENIED)
        << "the empty DACL does not refuse reading here, so this case would prove nothing";
    EXPECT_READ(RootKey::CurrentUser, key + "\\Start", 0, kDefault);
  }
  EXPECT_READ(RootKey::CurrentUser, key + "\\Start", 3, 3);
}

// Whatever was there before, the value ends up a four-byte REG_DWORD.
TEST_F(RegistryTest, WriteIntoExistingKeyStoresFourByteDword) {
  const std::string key = base_ + "\\Services\\USBstor";
  const std::int32_t values[] = {4, 3, 2, 0, -1, INT_MIN, INT_MAX};
  for (std::int32_t value : values) {
    SCOPED_TRACE("value " + std::to_string(value));
    PUT_VALUE(HKEY_CURRENT_USER, key, "Start", REG_SZ, {'o', 'l', 'd', 0});
    EXPECT_TRUE(writeRegistryNumber(RootKey::CurrentUser, (key + "\\Start").c_str(), value));
    EXPECT_STORED_DWORD(HKEY_CURRENT_USER, key, "Start", value);
    EXPECT_READ(RootKey::CurrentUser, key + "\\Start", value, value);
  }
  // A value of another type with the same name was replaced, not added beside.
  HKEY handle = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle), ERROR_SUCCESS);
  DWORD valueCount = 0;
  RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount, nullptr, nullptr,
                   nullptr, nullptr);
  RegCloseKey(handle);
  EXPECT_EQ(valueCount, 1u) << "expected 1 value in the key, got " << valueCount;
}

// A key that does not exist yet is created, with every missing level above it.
TEST_F(RegistryTest, WriteCreatesMissingKeyWithAllLevels) {
  const std::string key = base_ + "\\Level1\\Level2\\Level3";
  ASSERT_FALSE(keyExists(HKEY_CURRENT_USER, base_));
  EXPECT_TRUE(writeRegistryNumber(RootKey::CurrentUser, (key + "\\Start").c_str(), 3));
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, key)) << "expected the key and every missing level on the way created";
  EXPECT_STORED_DWORD(HKEY_CURRENT_USER, key, "Start", 3);
  EXPECT_READ(RootKey::CurrentUser, key + "\\Start", 3, 3);
}

// Without the right to write the key (an account without administrator
// rights on HKLM) the write reports false and the value stays as it was.
TEST_F(RegistryTest, WriteWithoutRightsFailsAndLeavesValue) {
  const std::string key = base_ + "\\Services\\USBstor";
  PUT_VALUE(HKEY_CURRENT_USER, key, "Start", REG_DWORD, dwordBytes(3));
  {
    KeyDaclGuard guard(HKEY_CURRENT_USER, key, "D:P(A;;KR;;;WD)");
    ASSERT_EQ(guard.status(), ERROR_SUCCESS) << "cannot make the key read-only";
    ASSERT_EQ(openStatus(HKEY_CURRENT_USER, key, KEY_WRITE), ERROR_ACCESS_DENIED)
        << "the key is still writable, so this case would prove nothing";
    ASSERT_EQ(openStatus(HKEY_CURRENT_USER, key, KEY_READ), ERROR_SUCCESS);

    EXPECT_FALSE(writeRegistryNumber(RootKey::CurrentUser, (key + "\\Start").c_str(), 4))
        << "expected false for a key that cannot be written";
    EXPECT_FALSE(writeRegistryNumber(RootKey::CurrentUser, (key + "\\NewValue").c_str(), 4))
        << "expected false for a new value in a key that cannot be written";
    EXPECT_STORED_DWORD(HKEY_CURRENT_USER, key, "Start", 3);
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, key, "NewValue").status, ERROR_FILE_NOT_FOUND)
        << "a value appeared in the read-only key";
    EXPECT_READ(RootKey::CurrentUser, key + "\\Start", 3, 3);  // reading is still allowed
  }
  // Unlocked again, the same write goes through: the refusal was the DACL.
  EXPECT_TRUE(writeRegistryNumber(RootKey::CurrentUser, (key + "\\Start").c_str(), 4));
  EXPECT_STORED_DWORD(HKEY_CURRENT_USER, key, "Start", 4);
}
