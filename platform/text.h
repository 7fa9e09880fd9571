// Text handling that does not touch Windows: number parsing, registry paths,
// double-byte aware path search, answer codes and version texts. Nothing
// here allocates: results live in fixed buffers or point into the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrana {

// Parses a leading decimal number (white space, sign, digits with an optional
// point, optional exponent) and rounds it to single precision; 0 when the
// text does not start with a number.
float textToFloat(std::string_view text);

// Longest key path a registry path may hold, terminator included.
inline constexpr std::size_t kMaxRegistryKeyPath = 1024;

struct RegistryPath {
  char key[kMaxRegistryKeyPath] = {};
  const char* value = "";  // the rest of the split text
};

// Splits at the last backslash; a path without one is all value name. False
// when the key path does not fit.
bool splitRegistryPath(const char* path, RegistryPath& out);

// Index of the last backslash in a path read as code page 936 text, where a
// lead byte (0x81 to 0xFE) starts a two-byte character whose trail byte is
// never a separator; npos when there is none.
std::size_t lastBackslashDbcs(std::string_view path);

// Code page 936 starts two-byte characters with 0x81 to 0xFE only; 0x80 (the
// euro sign) and 0xFF are characters of their own, so a backslash after one
// of them is a real separator.
bool isLeadByte936(unsigned char byte);

// The folder part of a module path: everything before its last backslash.
std::string_view folderOfPath(std::string_view path);

// Maps a MessageBox result (IDOK..IDNO) to the program's answer codes.
std::int32_t answerFromDialogResult(int result);

// A version text, terminated, held by value.
struct VersionText {
  char text[24] = {};
  std::string_view view() const { return text; }
};

// "%u." then "%02u": 6.01, 10.00.
VersionText formatVersionText(unsigned major, unsigned minor);

// The gate: a version text passes when its number, widened from single
// precision, is not below 6.0 by more than 1e-7.
bool systemVersionPasses(std::string_view versionText);

}  // namespace kestrana
