// The USB storage start value as the real program reads and writes it: the
// choice shown for every stored form, what apply writes, the boxes it shows,
// and a write refused by the key's security for real.
#include <windows.h>

#include <string>
#include <vector>

#include "driver.h"
#include "start_mode_support.h"

namespace {

using namespace e2e;
using namespace e2e::start_mode;

enum class Stored { Value, NoValue, NoKey };

// One way the start value can be found in the registry.
struct StoredForm {
  const char* name;
  Stored kind;
  DWORD type;
  std::vector<unsigned char> bytes;
  Choices shown;
};

const std::vector<StoredForm>& storedForms() {
  static const std::vector<StoredForm> forms = {
      {"REG_DWORD 2", Stored::Value, REG_DWORD, dwordBytes(2), kOnlyAutomatic},
      {"REG_DWORD 3", Stored::Value, REG_DWORD, dwordBytes(3), kOnlyManual},
      {"REG_DWORD 4", Stored::Value, REG_DWORD, dwordBytes(4), kOnlyDisabled},
      {"REG_DWORD 0", Stored::Value, REG_DWORD, dwordBytes(0), kNone},
      {"REG_DWORD 1", Stored::Value, REG_DWORD, dwordBytes(1), kNone},
      {"REG_DWORD 5", Stored::Value, REG_DWORD, dwordBytes(5), kNone},
      {"REG_DWORD 0xFFFFFFFF", Stored::Value, REG_DWORD, dwordBytes(0xFFFFFFFFu), kNone},
      {"REG_SZ \"3\"", Stored::Value, REG_SZ, {'3', 0}, kNone},
      {"REG_QWORD 3", Stored::Value, REG_QWORD, {3, 0, 0, 0, 0, 0, 0, 0}, kNone},
      {"REG_DWORD of 2 bytes 03 00", Stored::Value, REG_DWORD, {3, 0}, kNone},
      {"REG_BINARY 03 00 00 00", Stored::Value, REG_BINARY, dwordBytes(3), kNone},
      {"no Start value", Stored::NoValue, REG_NONE, {}, kNone},
      {"no USBstor key", Stored::NoKey, REG_NONE, {}, kNone},
  };
  return forms;
}

bool store(const StoredForm& f, Where where = Where::current()) {
  LONG rc = ERROR_SUCCESS;
  switch (f.kind) {
    case Stored::Value:
      rc = writeValue(HKEY_LOCAL_MACHINE, kUsbStorKey, kStartName, f.type, f.bytes);
      break;
    case Stored::NoValue:
      if (!setStartValue(3, where)) return false;
      rc = deleteValue(HKEY_LOCAL_MACHINE, kUsbStorKey, kStartName);
      break;
    case Stored::NoKey:
      rc = deleteKey(HKEY_LOCAL_MACHINE, kUsbStorKey);
      break;
  }
  if (rc != ERROR_SUCCESS) KESTRANA_FAIL_AT(where) << "storing " << f.name << ": error " << rc;
  return rc == ERROR_SUCCESS && keyExists(HKEY_LOCAL_MACHINE, kUsbStorKey) == (f.kind != Stored::NoKey);
}

// The registry still holds exactly what `store` put there.
void expectStoredUnchanged(const StoredForm& f, Where where = Where::current()) {
  if (f.kind == Stored::Value) return expectValue(HKEY_LOCAL_MACHINE, kUsbStorKey, kStartName, f.type, f.bytes, where);
  const RegValue v = readValue(HKEY_LOCAL_MACHINE, kUsbStorKey, kStartName);
  if (v.exists()) KESTRANA_FAIL_AT(where) << "expected no start value got " << describe(v);
  if (keyExists(HKEY_LOCAL_MACHINE, kUsbStorKey) != (f.kind == Stored::NoValue)) {
    KESTRANA_FAIL_AT(where) << "expected " << (f.kind == Stored::NoValue ? "the" : "no") << " USBstor key";
  }
}

class StartMode : public ProgramTest {};

// Guards against a stored value (or a value of the wrong type or size) that
// checks the wrong choice, or any choice when it is not 2, 3 or 4.
TEST_F(StartMode, EachStoredFormShowsItsChoice) {
  for (const StoredForm& f : storedForms()) {
    SCOPED_TRACE(f.name);
    ASSERT_TRUE(store(f));
    const MainWindowControls c = launchMain();
    ASSERT_TRUE(c.complete());
    expectChoices(c, f.shown);
    lastProgram().terminate();
  }
}

// Guards against an apply with no choice that still writes a value or
// shows a box.
TEST_F(StartMode, ApplyWithNoChoiceWritesNothing) {
  for (const StoredForm& f : storedForms()) {
    if (!(f.shown == kNone)) continue;
    SCOPED_TRACE(f.name);
    ASSERT_TRUE(store(f));
    const MainWindowControls c = launchMain();
    ASSERT_TRUE(c.complete());
    expectChoices(c, kNone);
    pressButton(c.apply);
    expectNoBoxWithin(lastProgram(), 1000);
    settle(c.window);
    lastProgram().expectStillRunning();
    expectStoredUnchanged(f);
    expectChoices(c, kNone);
    lastProgram().terminate();
  }
}

// Guards against a choice that writes the wrong number, the wrong type or
// size, or that writes before apply is pressed.
TEST_F(StartMode, ApplyWritesTheChosenValueAsDword) {
  struct Row {
    const char* name;
    HWND MainWindowControls::*radio;
    bool byMouse;
    DWORD storedBefore;
    DWORD written;
  };
  const Row rows[] = {
      {"自动启用 by mouse, from 4", &MainWindowControls::automatic, true, 4, 2},
      {"手动启用, from 2", &MainWindowControls::manual, false, 2, 3},
      {"禁用, from 3", &MainWindowControls::disabled, false, 3, 4},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(utf8(row.name));
    ASSERT_TRUE(setStartValue(row.storedBefore));
    const MainWindowControls c = launchMain();
    ASSERT_TRUE(c.complete());
    ASSERT_TRUE(choose(c, c.*row.radio, row.byMouse));
    settle(c.window);
    expectStartValue(row.storedBefore);  // nothing is written before apply
    pressButton(c.apply);
    const MessageBoxInfo box = readMessageBox(lastProgram().waitMessageBox());
    ASSERT_NE(box.hwnd, nullptr);
    EXPECT_EQ(utf8(box.caption), utf8(kSuccessCaption));
    expectStartValue(row.written);
    pressBoxButton(box.hwnd, IDNO);
    waitNoBox(lastProgram());
    lastProgram().terminate();
  }
}

// Guards against a wrong success box, a main window left usable beneath it,
// a No that ends the program or undoes the write, and an apply that works
// only once.
TEST_F(StartMode, SuccessBoxAsksAndNoKeepsTheProgram) {
  ASSERT_TRUE(setStartValue(3));
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  Program& program = lastProgram();
  ASSERT_TRUE(choose(c, c.disabled, false));

  struct Apply {
    const char* name;
    HWND choice;     // nullptr: keep the checked one
    DWORD storedBefore;
    DWORD written;
  };
  const Apply applies[] = {
      {"first apply of 禁用", nullptr, 3, 4},
      {"second apply of 禁用 over a value changed to 3", nullptr, 3, 4},
      {"apply of 自动启用", c.automatic, 4, 2},
  };
  for (const Apply& a : applies) {
    SCOPED_TRACE(utf8(a.name));
    ASSERT_TRUE(setStartValue(a.storedBefore));
    if (a.choice) {
      ASSERT_TRUE(choose(c, a.choice, false));
    }
    pressButton(c.apply);
    const MessageBoxInfo box = readMessageBox(program.waitMessageBox());
    ASSERT_NE(box.hwnd, nullptr);
    expectBox(box, kSuccessCaption, kSuccessText, {IDYES, IDNO});
    EXPECT_EQ(ownerOf(box.hwnd), nullptr) << "the box has an owner window";
    EXPECT_FALSE(isEnabled(c.window)) << "the main window takes input under the box";
    expectStartValue(a.written);

    pressBoxButton(box.hwnd, IDNO);
    ASSERT_TRUE(waitNoBox(program));
    EXPECT_TRUE(waitFor([&] { return isEnabled(c.window); }, 2000)) << "main window still disabled after No";
    program.expectStillRunning(500);
    EXPECT_TRUE(IsWindow(c.window)) << "main window gone after No";
    expectStartValue(a.written);
    expectChoices(c, a.written == 2 ? kOnlyAutomatic : kOnlyDisabled);
  }
}

// Guards against a program that reads the stored value again after
// start-up: a change behind its back must neither move the checked choice
// nor be what apply writes.
TEST_F(StartMode, StoredValueIsReadOnlyAtStartUp) {
  ASSERT_TRUE(setStartValue(3));
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  Program& program = lastProgram();
  expectChoices(c, kOnlyManual);

  ASSERT_TRUE(setStartValue(4));
  // Activation and repaint are the moments a re-read would happen.
  bringToForeground(c.window);
  InvalidateRect(c.window, nullptr, TRUE);
  settle(c.window, 500);
  expectChoices(c, kOnlyManual);

  pressButton(c.apply);
  const MessageBoxInfo box = readMessageBox(program.waitMessageBox());
  ASSERT_NE(box.hwnd, nullptr);
  EXPECT_EQ(utf8(box.caption), utf8(kSuccessCaption));
  expectStartValue(3);

  // Nor after a successful apply.
  ASSERT_TRUE(setStartValue(2));
  pressBoxButton(box.hwnd, IDNO);
  ASSERT_TRUE(waitNoBox(program));
  settle(c.window);
  expectChoices(c, kOnlyManual);
  expectStartValue(2);
}

// Guards against a write that gives up when the service key does not
// exist instead of creating it.
TEST_F(StartMode, ApplyCreatesAMissingKey) {
  ASSERT_EQ(deleteKey(HKEY_LOCAL_MACHINE, kUsbStorKey), ERROR_SUCCESS);
  ASSERT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUsbStorKey));
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  Program& program = lastProgram();
  expectChoices(c, kNone);
  ASSERT_TRUE(choose(c, c.disabled, false));
  pressButton(c.apply);
  const MessageBoxInfo box = readMessageBox(program.waitMessageBox());
  ASSERT_NE(box.hwnd, nullptr);
  expectBox(box, kSuccessCaption, kSuccessText, {IDYES, IDNO});
  EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kUsbStorKey));
  expectStartValue(4);
  pressBoxButton(box.hwnd, IDNO);
  waitNoBox(program);
  program.expectStillRunning();
}

class Permission : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    // A run that died with the key still read-only must not spoil this one.
    setKeyDacl(HKEY_LOCAL_MACHINE, kUsbStorKey, kFullAccessDacl);
  }
};

// Guards against a refused write that is reported as success, shows the
// wrong box, changes the value, or resets the user's choice.
TEST_F(Permission, RefusedWriteShowsFailureAndKeepsTheChoice) {
  ASSERT_TRUE(setStartValue(3));
  KeyDacl readOnly(HKEY_LOCAL_MACHINE, kUsbStorKey, kReadOnlyDacl);
  ASSERT_EQ(readOnly.status(), ERROR_SUCCESS) << "cannot make the key read-only";

  // The refusal is real: neither way the program may open the key for
  // writing lets it store a value.
  ASSERT_EQ(openStatus(HKEY_LOCAL_MACHINE, kUsbStorKey, KEY_WRITE), ERROR_ACCESS_DENIED)
      << "RegOpenKeyExA(KEY_WRITE) on the read-only key";
  HKEY key = nullptr;
  LONG setRc = -1;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kUsbStorKey, &key) == ERROR_SUCCESS) {
    const DWORD same = 3;
    setRc = RegSetValueExA(key, kStartName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&same), sizeof same);
    RegCloseKey(key);
  }
  ASSERT_NE(setRc, ERROR_SUCCESS) << "RegCreateKeyA + RegSetValueExA stored a value on the read-only key";

  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  Program& program = lastProgram();
  expectChoices(c, kOnlyManual);
  ASSERT_TRUE(choose(c, c.disabled, false));
  pressButton(c.apply);
  const MessageBoxInfo box = readMessageBox(program.waitMessageBox());
  ASSERT_NE(box.hwnd, nullptr);
  expectBox(box, kFailureCaption, kFailureText, {IDOK});
  EXPECT_EQ(ownerOf(box.hwnd), nullptr) << "the box has an owner window";
  EXPECT_FALSE(isEnabled(c.window)) << "the main window takes input under the box";

  pressBoxButton(box.hwnd, IDOK);
  ASSERT_TRUE(waitNoBox(program));
  EXPECT_TRUE(waitFor([&] { return isEnabled(c.window); }, 2000)) << "main window still disabled after OK";
  program.expectStillRunning(500);
  expectStartValue(3);
  expectChoices(c, kOnlyDisabled);
  expectNoBoxWithin(program, 500);  // the failure leads to no restart offer
}

}  // namespace
