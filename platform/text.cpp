#include "platform/text.h"

#include <cstdlib>

namespace kestrana {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Significant digits handed on to strtof. A decimal exactly halfway between
// two neighbouring floats, (2m + 1) * 2^-150 with 2m + 1 < 2^25, has at most
// 113 significant digits, so the first 120 digits and a 1 standing in for
// any nonzero digit after them round exactly as the whole text does.
constexpr std::size_t kKeptDigits = 120;
// Far beyond the range of a float either way, and short to write.
constexpr long long kExponentLimit = 99999;
// An exponent text longer than this is beyond the limit whatever follows.
constexpr long long kExponentSaturation = 1000000000;

// Writes the number in decimal with at least minDigits digits; returns the
// position after it.
char* putUnsigned(char* out, unsigned long long value, int minDigits) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n < minDigits) digits[n++] = '0';
  while (n > 0) *out++ = digits[--n];
  return out;
}

}  // namespace

bool isLeadByte936(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

float textToFloat(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  // The number is rewritten as sign, "0.", its significant digits and a
  // decimal exponent, in a buffer of fixed size whatever the text's length.
  char number[1 + 2 + kKeptDigits + 1 + 2 + 5 + 1];
  char* out = number;
  *out++ = negative ? '-' : '+';
  *out++ = '0';
  *out++ = '.';
  std::size_t kept = 0;
  bool dropped = false;   // a nonzero digit beyond the kept ones
  bool nonzero = false;   // a significant digit was seen
  std::size_t digits = 0;
  long long exponent = 0;  // of 10, for the 0.ddd form
  auto take = [&](char c, bool beforePoint) {
    ++digits;
    if (!nonzero) {
      if (c == '0') {
        if (!beforePoint) --exponent;
        return;
      }
      nonzero = true;
    }
    if (beforePoint) ++exponent;
    if (kept < kKeptDigits) {
      *out++ = c;
      ++kept;
    } else if (c != '0') {
      dropped = true;
    }
  };
  while (i < text.size() && isDigit(text[i])) take(text[i++], true);
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) take(text[i++], false);
  }
  if (digits == 0) return 0.0f;
  // The exponent counts only when digits follow it.
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    bool exponentNegative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponentNegative = text[j++] == '-';
    if (j < text.size() && isDigit(text[j])) {
      long long written = 0;
      while (j < text.size() && isDigit(text[j])) {
        if (written < kExponentSaturation) written = written * 10 + (text[j] - '0');
        ++j;
      }
      exponent += exponentNegative ? -written : written;
    }
  }
  if (!nonzero) return negative ? -0.0f : 0.0f;
  if (dropped) *out++ = '1';
  if (exponent > kExponentLimit) exponent = kExponentLimit;
  if (exponent < -kExponentLimit) exponent = -kExponentLimit;
  *out++ = 'e';
  if (exponent < 0) *out++ = '-';
  out = putUnsigned(out, static_cast<unsigned long long>(exponent < 0 ? -exponent : exponent), 1);
  *out = '\0';
  // strtof rounds the decimal text straight to single precision; the text it
  // sees is plain decimal, so none of its own extensions (hexadecimal, inf,
  // nan) can apply.
  return std::strtof(number, nullptr);
}

bool splitRegistryPath(const char* path, RegistryPath& out) {
  const char* cut = nullptr;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\') cut = p;
  }
  if (!cut) {
    out.key[0] = '\0';
    out.value = path;
    return true;
  }
  const auto length = static_cast<std::size_t>(cut - path);
  if (length >= kMaxRegistryKeyPath) return false;
  for (std::size_t k = 0; k < length; ++k) out.key[k] = path[k];
  out.key[length] = '\0';
  out.value = cut + 1;
  return true;
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

std::string_view folderOfPath(std::string_view path) {
  const std::size_t cut = lastBackslashDbcs(path);
  return cut == std::string_view::npos ? path : path.substr(0, cut);
}

std::int32_t answerFromDialogResult(int result) {
  // IDOK 1 .. IDNO 7 become 0 .. 6; anything else, failure included, is 0.
  if (result >= 1 && result <= 7) return result - 1;
  return 0;
}

VersionText formatVersionText(unsigned major, unsigned minor) {
  VersionText version;
  char* out = putUnsigned(version.text, major, 1);
  *out++ = '.';
  *putUnsigned(out, minor, 2) = '\0';
  return version;
}

bool systemVersionPasses(std::string_view versionText) {
  constexpr double kThreshold = 6.0;
  constexpr double kTolerance = 1e-7;
  const double version = static_cast<double>(textToFloat(versionText));
  return !(kThreshold - version > kTolerance);
}

}  // namespace kestrana
