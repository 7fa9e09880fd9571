// Text handling that does not touch Windows: number parsing, registry paths,
// double-byte aware path search, answer codes and version texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrana {

// Parses a leading decimal number (white space, sign, digits with an optional
// point, optional exponent) and rounds it to single precision; 0 when the
// text does not start with a number.
float textToFloat(std::string_view text);

struct RegistryPath {
  std::string key;
  std::string value;
};

// Splits at the last backslash; a path without one is all value name.
RegistryPath splitRegistryPath(std::string_view path);

// Index of the last backslash in a path read as code page 936 text, where a
// lead byte (0x81 to 0xFE) starts a two-byte character whose trail byte is
// never a separator; npos when there is none.
std::size_t lastBackslashDbcs(std::string_view path);

// The folder part of a module path: everything before its last backslash.
std::string folderOfPath(std::string_view path);

// Maps a MessageBox result (IDOK..IDNO) to the program's answer codes.
std::int32_t answerFromDialogResult(int result);

// "%d." then "%02d": 6.01, 10.00.
std::string formatVersionText(unsigned major, unsigned minor);

// The gate: a version text passes when its number, widened from single
// precision, is not below 6.0 by more than 1e-7.
bool systemVersionPasses(std::string_view versionText);

}  // namespace kestrana
