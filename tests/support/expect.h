// For the test programs built on GoogleTest (the support library itself is
// free of it): a failure reported at the caller's line, and the checks both
// suites make the same way.
#pragma once

#include <gtest/gtest.h>

#include <source_location>
#include <string>
#include <vector>

#include "support/support.h"

namespace kestrana_test {

using Where = std::source_location;

// A non-fatal failure at `where`, the caller's line: stream the message.
// Prefixed because GoogleTest 1.15 and later define a FAIL_AT of their own.
#define KESTRANA_FAIL_AT(where) ADD_FAILURE_AT((where).file_name(), static_cast<int>((where).line()))

// Fails unless the value is stored with exactly this type and these bytes.
inline void expectValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                        const std::vector<unsigned char>& bytes, Where where = Where::current()) {
  const RegValue v = readValue(root, key, name);
  if (!v.exists() || v.type != type || v.bytes != bytes) {
    KESTRANA_FAIL_AT(where) << regPath(root, key, name) << ": expected "
                            << describe(RegValue{ERROR_SUCCESS, type, bytes}) << " got " << describe(v);
  }
}

// Fails unless the bits of `value` under `mask` are exactly `want`.
inline void expectBits(const char* what, DWORD value, DWORD mask, DWORD want, Where where = Where::current()) {
  if ((value & mask) != want) {
    KESTRANA_FAIL_AT(where) << what << ": expected bits " << hex(want) << " under mask " << hex(mask) << " got "
                            << hex(value & mask) << " (whole value " << hex(value) << ")";
  }
}

}  // namespace kestrana_test
