// readRegistryNumber and writeRegistryNumber against the real registry of
// the Wine prefix. Every case works below Software\KestranaTest\<case>,
// removed before and after it.
#include <windows.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/expect.h"

using kestrana::readRegistryNumber;
using kestrana::RootKey;
using kestrana::writeRegistryNumber;
using namespace kestrana_test;

namespace {

constexpr std::int32_t kDefault = 77;

// Stores a value of any type and size straight through the API.
void putValue(HKEY root, const std::string& key, const char* name, DWORD type, const std::vector<BYTE>& bytes,
              Where where = Where::current()) {
  if (const LONG rc = writeValue(root, key, name, type, bytes)) {
    KESTRANA_FAIL_AT(where) << "cannot set " << regPath(root, key, name) << " (type " << type << ", " << bytes.size()
                            << " bytes): error " << rc;
  }
}

// The program's read, without and with a default, at the caller's line.
void expectRead(RootKey root, const std::string& path, std::int32_t expected, std::int32_t expectedWithDefault,
                Where where = Where::current()) {
  const std::int32_t plain = readRegistryNumber(root, path.c_str());
  if (plain != expected) {
    KESTRANA_FAIL_AT(where) << "readRegistryNumber(" << path << "): expected " << expected << " got " << plain;
  }
  const std::int32_t withDefault = readRegistryNumber(root, path.c_str(), kDefault);
  if (withDefault != expectedWithDefault) {
    KESTRANA_FAIL_AT(where) << "readRegistryNumber(" << path << ", default " << kDefault << "): expected "
                            << expectedWithDefault << " got " << withDefault;
  }
}

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    base_ = std::string("Software\\KestranaTest\\") + testing::UnitTest::GetInstance()->current_test_info()->name();
    deleteKey(HKEY_CURRENT_USER, base_);
    deleteKey(HKEY_LOCAL_MACHINE, base_);
    ASSERT_FALSE(keyExists(HKEY_CURRENT_USER, base_)) << "scratch key left from an earlier run cannot be removed";
  }
  void TearDown() override {
    deleteKey(HKEY_CURRENT_USER, base_);
    deleteKey(HKEY_LOCAL_MACHINE, base_);
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
    putValue(HKEY_CURRENT_USER, key, name.c_str(), c.type, c.bytes);
    const RegValue stored = readValue(HKEY_CURRENT_USER, key, name.c_str());
    ASSERT_EQ(stored.type, c.type) << "the value was not stored as intended";
    ASSERT_EQ(hexBytes(stored.bytes), hexBytes(c.bytes)) << "the value was not stored as intended";
    expectRead(RootKey::CurrentUser, key + "\\" + name, c.expected, c.expectedWithDefault);
  }
}

// A missing value, key or chain of keys is the default, not an error value.
TEST_F(RegistryTest, ReadOfMissingValueOrKeyGivesDefault) {
  const std::string key = base_ + "\\Services\\USBstor";
  putValue(HKEY_CURRENT_USER, key, "Start", REG_DWORD, dwordBytes(3));
  expectRead(RootKey::CurrentUser, key + "\\Start", 3, 3);  // the key is readable
  expectRead(RootKey::CurrentUser, key + "\\Missing", 0, kDefault);
  expectRead(RootKey::CurrentUser, key + "\\NoSuchKey\\Start", 0, kDefault);
  expectRead(RootKey::CurrentUser, base_ + "\\No\\Such\\Levels\\Start", 0, kDefault);
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, base_ + "\\No")) << "a read must not create keys";
}

// The root argument must reach the registry: a value under one root is not
// seen under the other.
TEST_F(RegistryTest, ReadAndWriteUseTheGivenRoot) {
  const std::string key = base_ + "\\Services\\USBstor";
  putValue(HKEY_LOCAL_MACHINE, key, "Start", REG_DWORD, dwordBytes(2));
  expectRead(RootKey::LocalMachine, key + "\\Start", 2, 2);
  expectRead(RootKey::CurrentUser, key + "\\Start", 0, kDefault);

  EXPECT_TRUE(writeRegistryNumber(RootKey::LocalMachine, (key + "\\Written").c_str(), 4));
  expectValue(HKEY_LOCAL_MACHINE, key, "Written", REG_DWORD, dwordBytes(4));
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, key, "Written").status, ERROR_FILE_NOT_FOUND)
      << "a write to HKLM landed under HKCU";
}

// A key the account may not read is reported like a missing one.
TEST_F(RegistryTest, ReadRefusedGivesDefault) {
  const std::string key = base_ + "\\Locked";
  putValue(HKEY_CURRENT_USER, key, "Start", REG_DWORD, dwordBytes(3));
  expectRead(RootKey::CurrentUser, key + "\\Start", 3, 3);
  {
    KeyDacl guard(HKEY_CURRENT_USER, key, "D:P");
    ASSERT_EQ(guard.status(), ERROR_SUCCESS) << "cannot lock the key";
    ASSERT_EQ(openStatus(HKEY_CURRENT_USER, key, KEY_READ), ERROR_ACCESS_DENIED)
        << "the empty DACL does not refuse reading here, so this case would prove nothing";
    expectRead(RootKey::CurrentUser, key + "\\Start", 0, kDefault);
  }
  expectRead(RootKey::CurrentUser, key + "\\Start", 3, 3);
}

// Whatever was there before, the value ends up a four-byte REG_DWORD.
TEST_F(RegistryTest, WriteIntoExistingKeyStoresFourByteDword) {
  const std::string key = base_ + "\\Services\\USBstor";
  const std::int32_t values[] = {4, 3, 2, 0, -1, INT_MIN, INT_MAX};
  for (std::int32_t value : values) {
    SCOPED_TRACE("value " + std::to_string(value));
    putValue(HKEY_CURRENT_USER, key, "Start", REG_SZ, {'o', 'l', 'd', 0});
    EXPECT_TRUE(writeRegistryNumber(RootKey::CurrentUser, (key + "\\Start").c_str(), value));
    expectValue(HKEY_CURRENT_USER, key, "Start", REG_DWORD, dwordBytes(static_cast<DWORD>(value)));
    expectRead(RootKey::CurrentUser, key + "\\Start", value, value);
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
  expectValue(HKEY_CURRENT_USER, key, "Start", REG_DWORD, dwordBytes(3));
  expectRead(RootKey::CurrentUser, key + "\\Start", 3, 3);
}

// Without the right to write the key (an account without administrator
// rights on HKLM) the write reports false and the value stays as it was.
TEST_F(RegistryTest, WriteWithoutRightsFailsAndLeavesValue) {
  const std::string key = base_ + "\\Services\\USBstor";
  putValue(HKEY_CURRENT_USER, key, "Start", REG_DWORD, dwordBytes(3));
  {
    KeyDacl guard(HKEY_CURRENT_USER, key, kReadOnlyDacl);
    ASSERT_EQ(guard.status(), ERROR_SUCCESS) << "cannot make the key read-only";
    ASSERT_EQ(openStatus(HKEY_CURRENT_USER, key, KEY_WRITE), ERROR_ACCESS_DENIED)
        << "the key is still writable, so this case would prove nothing";
    ASSERT_EQ(openStatus(HKEY_CURRENT_USER, key, KEY_READ), ERROR_SUCCESS);

    EXPECT_FALSE(writeRegistryNumber(RootKey::CurrentUser, (key + "\\Start").c_str(), 4))
        << "expected false for a key that cannot be written";
    EXPECT_FALSE(writeRegistryNumber(RootKey::CurrentUser, (key + "\\NewValue").c_str(), 4))
        << "expected false for a new value in a key that cannot be written";
    expectValue(HKEY_CURRENT_USER, key, "Start", REG_DWORD, dwordBytes(3));
    EXPECT_EQ(readValue(HKEY_CURRENT_USER, key, "NewValue").status, ERROR_FILE_NOT_FOUND)
        << "a value appeared in the read-only key";
    expectRead(RootKey::CurrentUser, key + "\\Start", 3, 3);  // reading is still allowed
  }
  // Unlocked again, the same write goes through: the refusal was the DACL.
  EXPECT_TRUE(writeRegistryNumber(RootKey::CurrentUser, (key + "\\Start").c_str(), 4));
  expectValue(HKEY_CURRENT_USER, key, "Start", REG_DWORD, dwordBytes(4));
}
