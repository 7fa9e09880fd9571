#include "fake_platform.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "app/gate.h"
#include "info/web.h"

namespace kestrana::test {

FakePlatform& fake() {
  static FakePlatform instance;
  return instance;
}

std::string convertText(const std::string& text, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("iconv_open: ") + from + " -> " + to);
  std::string out(text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* dst = out.data();
  std::size_t outLeft = out.size();
  const std::size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
  const int err = errno;
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1) || inLeft != 0) {
    throw std::runtime_error(std::string("iconv: ") + std::strerror(err));
  }
  out.resize(out.size() - outLeft);
  return out;
}

std::string utf8(const std::string& gbk) {
  try {
    return convertText(gbk, "GBK", "UTF-8");
  } catch (const std::exception&) {
    // Not GBK after all: show the bytes as they are.
    return gbk;
  }
}

namespace {

Call make(std::string op) {
  Call c;
  c.op = std::move(op);
  return c;
}

std::string controlName(const WindowLayout* window, int control) {
  if (window == nullptr) return std::to_string(control);
  const ControlLayout* layout = findControl(*window, control);
  if (layout == nullptr) {
    std::string unknown = "#";
    unknown += std::to_string(control);
    return unknown;
  }
  return utf8(layout->name);
}

}  // namespace

Call Call::readRegistry(RootKey root, std::string path, std::int64_t defaultValue) {
  Call c = make("readRegistryNumber");
  c.a = static_cast<std::int64_t>(root);
  c.b = defaultValue;
  c.text = std::move(path);
  return c;
}
Call Call::writeRegistry(RootKey root, std::string path, std::int32_t value) {
  Call c = make("writeRegistryNumber");
  c.a = static_cast<std::int64_t>(root);
  c.b = value;
  c.text = std::move(path);
  return c;
}
Call Call::messageBox(std::string text, std::int32_t flags, std::string caption) {
  Call c = make("showMessageBox");
  c.a = flags;
  c.text = std::move(text);
  c.caption = std::move(caption);
  return c;
}
Call Call::loadWindow(const WindowLayout& window, bool asDialog) {
  Call c = make("loadWindow");
  c.window = &window;
  c.a = asDialog;
  return c;
}
Call Call::closeWindow(const WindowLayout& window) {
  Call c = make("closeWindow");
  c.window = &window;
  return c;
}
Call Call::setChecked(const WindowLayout& window, int control, bool checked) {
  Call c = make("setChecked");
  c.window = &window;
  c.control = control;
  c.a = checked;
  return c;
}
Call Call::isChecked(const WindowLayout& window, int control) {
  Call c = make("isChecked");
  c.window = &window;
  c.control = control;
  return c;
}
Call Call::setPicture(const WindowLayout& window, int control, std::size_t size) {
  Call c = make("setPicture");
  c.window = &window;
  c.control = control;
  c.a = static_cast<std::int64_t>(size);
  return c;
}
Call Call::endProgram(std::int32_t exitCode) {
  Call c = make("endProgram");
  c.a = exitCode;
  return c;
}
Call Call::openProcessToken(std::uint32_t access) {
  Call c = make("openProcessToken");
  c.a = access;
  return c;
}
Call Call::lookupPrivilegeValue(std::string name) {
  Call c = make("lookupPrivilegeValue");
  c.text = std::move(name);
  return c;
}
Call Call::adjustTokenPrivilege(TokenHandle token, std::uint64_t luid, std::uint32_t attributes) {
  Call c = make("adjustTokenPrivilege");
  c.a = static_cast<std::int64_t>(token);
  c.b = static_cast<std::int64_t>(luid);
  c.c = attributes;
  return c;
}
Call Call::lastError() { return make("lastError"); }
Call Call::exitWindows(std::uint32_t flags, std::uint32_t reason) {
  Call c = make("exitWindows");
  c.a = flags;
  c.b = reason;
  return c;
}
Call Call::closeHandle(TokenHandle handle) {
  Call c = make("closeHandle");
  c.a = static_cast<std::int64_t>(handle);
  return c;
}
Call Call::querySystemVersion() { return make("querySystemVersion"); }
Call Call::openWebAddress(std::string address) {
  Call c = make("openWebAddress");
  c.text = std::move(address);
  return c;
}

std::ostream& operator<<(std::ostream& out, const Call& c) {
  out << c.op << "(";
  if (c.window != nullptr) out << "window \"" << utf8(c.window->caption) << "\", ";
  if (c.op == "setChecked" || c.op == "isChecked" || c.op == "setPicture") {
    out << "control " << controlName(c.window, c.control) << ", ";
  }
  out << std::hex << "a=0x" << c.a << " b=0x" << c.b << " c=0x" << c.c << std::dec;
  if (!c.text.empty()) out << ", text \"" << utf8(c.text) << "\"";
  if (!c.caption.empty()) out << ", caption \"" << utf8(c.caption) << "\"";
  return out << ")";
}

void PrintTo(const Call& call, std::ostream* out) { *out << call; }

bool FakePlatform::isCheckedNow(const WindowLayout& window, int control) const {
  const auto it = checked.find({&window, control});
  return it != checked.end() && it->second;
}

std::vector<Call> FakePlatform::callsOf(const std::string& op) const {
  std::vector<Call> out;
  for (const Call& c : calls) {
    if (c.op == op) out.push_back(c);
  }
  return out;
}

std::vector<Call> FakePlatform::effects() const {
  std::vector<Call> out;
  for (const Call& c : calls) {
    if (c.op != "isChecked") out.push_back(c);
  }
  return out;
}

}  // namespace kestrana::test

// The operations themselves, in the product's namespace, so that the
// portable sources link against them instead of Win32.
namespace kestrana {

using test::Call;
using test::fake;

std::int32_t readRegistryNumber(RootKey root, const char* path, std::optional<std::int32_t> defaultValue) {
  fake().calls.push_back(Call::readRegistry(root, path, defaultValue ? *defaultValue : Call::kNoDefault));
  if (fake().storedValue) return *fake().storedValue;
  return defaultValue.value_or(0);
}

bool writeRegistryNumber(RootKey root, const char* path, std::int32_t value) {
  fake().calls.push_back(Call::writeRegistry(root, path, value));
  if (fake().writeSucceeds) fake().storedValue = value;
  return fake().writeSucceeds;
}

std::int32_t showMessageBox(const char* text, std::int32_t flags, const char* caption) {
  fake().calls.push_back(Call::messageBox(text, flags, caption));
  if (fake().answers.empty()) return kAnswerOk;
  const std::int32_t answer = fake().answers.front();
  fake().answers.pop_front();
  return answer;
}

bool loadWindow(const WindowLayout& window, bool asDialog) {
  fake().calls.push_back(Call::loadWindow(window, asDialog));
  return fake().loadWindowResult;
}

void closeWindow(const WindowLayout& window) { fake().calls.push_back(Call::closeWindow(window)); }

void setChecked(const WindowLayout& window, int control, bool checked) {
  fake().calls.push_back(Call::setChecked(window, control, checked));
  fake().checked[{&window, control}] = checked;
}

bool isChecked(const WindowLayout& window, int control) {
  fake().calls.push_back(Call::isChecked(window, control));
  return fake().isCheckedNow(window, control);
}

void setPicture(const WindowLayout& window, int control, const unsigned char* bytes, std::size_t size) {
  fake().calls.push_back(Call::setPicture(window, control, size));
  fake().pictureBytes.assign(bytes, bytes + size);
}

void endProgram(std::int32_t exitCode) {
  fake().calls.push_back(Call::endProgram(exitCode));
  throw test::ProgramEnded{exitCode};
}

TokenHandle openProcessToken(std::uint32_t access) {
  fake().calls.push_back(Call::openProcessToken(access));
  return fake().tokenToOpen;
}

std::uint64_t lookupPrivilegeValue(const char* name) {
  fake().calls.push_back(Call::lookupPrivilegeValue(name));
  return fake().shutdownLuid;
}

void adjustTokenPrivilege(TokenHandle token, std::uint64_t luid, std::uint32_t attributes) {
  fake().calls.push_back(Call::adjustTokenPrivilege(token, luid, attributes));
}

std::uint32_t lastError() {
  fake().calls.push_back(Call::lastError());
  return fake().lastErrorValue;
}

bool exitWindows(std::uint32_t flags, std::uint32_t reason) {
  fake().calls.push_back(Call::exitWindows(flags, reason));
  return fake().exitWindowsResult;
}

void closeHandle(TokenHandle handle) { fake().calls.push_back(Call::closeHandle(handle)); }

VersionText querySystemVersion() {
  fake().calls.push_back(Call::querySystemVersion());
  VersionText version;
  fake().systemVersion.copy(version.text, sizeof version.text - 1);
  return version;
}

void openWebAddress(const char* address) { fake().calls.push_back(Call::openWebAddress(address)); }

}  // namespace kestrana
