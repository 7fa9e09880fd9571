#include "platform/text.h"

#include <cstdio>
#include <cstdlib>

namespace kestrana {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
// Code page 936 starts two-byte characters with 0x81 to 0xFE only; 0x80 (the
// euro sign) and 0xFF are characters of their own, and a backslash after one
// of them is a real separator.
bool isLeadByte936(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

}  // namespace

float textToFloat(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  const std::size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0.0f;
  // The exponent counts only when digits follow it.
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && isDigit(text[j])) {
      while (j < text.size() && isDigit(text[j])) ++j;
      i = j;
    }
  }
  // strtof rounds the decimal text straight to single precision; the text it
  // sees has already been cut to the number, so none of its own extensions
  // (hexadecimal, inf, nan) can apply.
  const std::string number(text.substr(start, i - start));
  return std::strtof(number.c_str(), nullptr);
}

RegistryPath splitRegistryPath(std::string_view path) {
  const std::size_t cut = path.rfind('\\');
  if (cut == std::string_view::npos) return {std::string(), std::string(path)};
  return {std::string(path.substr(0, cut)), std::string(path.substr(cut + 1))};
}

std::size_t lastBackslashDbcs(std::string_view path) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto byte = static_cast<unsigned char>(path[i]);
    if (isLeadByte936(byte)) {
      ++i;  // the trail byte belongs to this character
    } else if (byte == '\\') {
      found = i;
    }
  }
  return found;
}

std::string folderOfPath(std::string_view path) {
  const std::size_t cut = lastBackslashDbcs(path);
  if (cut == std::string_view::npos) return std::string(path);
  return std::string(path.substr(0, cut));
}

std::int32_t answerFromDialogResult(int result) {
  // IDOK 1 .. IDNO 7 become 0 .. 6; anything else, failure included, is 0.
  if (result >= 1 && result <= 7) return result - 1;
  return 0;
}

std::string formatVersionText(unsigned major, unsigned minor) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%u.%02u", major, minor);
  return buffer;
}

bool systemVersionPasses(std::string_view versionText) {
  constexpr double kThreshold = 6.0;
  constexpr double kTolerance = 1e-7;
  const double version = static_cast<double>(textToFloat(versionText));
  return !(kThreshold - version > kTolerance);
}

}  // namespace kestrana
