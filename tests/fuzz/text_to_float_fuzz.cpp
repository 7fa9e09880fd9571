// textToFloat on arbitrary text equals the correctly rounded single-precision
// value of the longest prefix that reads as a number (white space, sign,
// digits with an optional point, an exponent only when digits follow it), as
// std::from_chars rounds it; and it never reads past the text, which lies in
// a heap block of exactly its size so that the address sanitizer sees any
// over-read.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <system_error>

#include "platform/text.h"

namespace {

// The product's call, kept here alone.
float product(std::string_view text) { return kestrana::textToFloat(text); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The grammar as an automaton; the number is the text up to the last position
// where it stood in an accepting state.
enum class State { Lead, Sign, Point, Int, Frac, Mark, MarkSign, Exp, Dead };

State next(State s, char c) {
  switch (s) {
    case State::Lead:
      if (isSpace(c)) return State::Lead;
      if (c == '+' || c == '-') return State::Sign;
      [[fallthrough]];
    case State::Sign:
      if (isDigit(c)) return State::Int;
      if (c == '.') return State::Point;
      return State::Dead;
    case State::Point:
      return isDigit(c) ? State::Frac : State::Dead;
    case State::Int:
      if (isDigit(c)) return State::Int;
      if (c == '.') return State::Frac;
      [[fallthrough]];
    case State::Frac:
      if (isDigit(c)) return State::Frac;
      if (c == 'e' || c == 'E') return State::Mark;
      return State::Dead;
    case State::Mark:
      if (c == '+' || c == '-') return State::MarkSign;
      [[fallthrough]];
    case State::MarkSign:
      return isDigit(c) ? State::Exp : State::Dead;
    case State::Exp:
      return isDigit(c) ? State::Exp : State::Dead;
    case State::Dead:
      break;
  }
  return State::Dead;
}

bool accepting(State s) { return s == State::Int || s == State::Frac || s == State::Exp; }

// The number's text without leading white space, or empty when there is none.
std::string_view longestNumber(std::string_view text) {
  State s = State::Lead;
  std::size_t start = 0, end = 0;
  for (std::size_t i = 0; i < text.size() && s != State::Dead; ++i) {
    if (s == State::Lead && !isSpace(text[i])) start = i;
    s = next(s, text[i]);
    if (accepting(s)) end = i + 1;
  }
  return end == 0 ? std::string_view() : text.substr(start, end - start);
}

// The decimal order of magnitude of a number text that has a nonzero digit,
// the exponent saturated far beyond single precision's range.
long long orderOf(std::string_view number) {
  long long digitsBeforePoint = 0, firstNonzero = -1, digits = 0;
  bool afterPoint = false;
  std::size_t i = 0;
  for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
    if (number[i] == '.') {
      afterPoint = true;
    } else if (isDigit(number[i])) {
      if (firstNonzero < 0 && number[i] != '0') firstNonzero = digits;
      ++digits;
      if (!afterPoint) ++digitsBeforePoint;
    }
  }
  long long exponent = 0;
  bool negative = false;
  if (i < number.size()) {
    ++i;
    if (number[i] == '+' || number[i] == '-') negative = number[i++] == '-';
    for (; i < number.size(); ++i) exponent = std::min(exponent * 10 + (number[i] - '0'), 1000000000LL);
  }
  return digitsBeforePoint - firstNonzero - 1 + (negative ? -exponent : exponent);
}

float reference(std::string_view text) {
  std::string_view number = longestNumber(text);
  if (number.empty()) return 0.0f;
  // from_chars reads a minus sign but no plus sign.
  if (number.front() == '+') number.remove_prefix(1);
  float value = 0.0f;
  const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                         std::chars_format::general);
  if (ptr != number.data() + number.size()) {
    std::fprintf(stderr, "reference: from_chars stopped early in \"%.*s\"\n", static_cast<int>(number.size()),
                 number.data());
    std::abort();
  }
  if (ec == std::errc::result_out_of_range) {
    // Beyond the range: infinity when too large, zero when too small, with
    // the number's sign, as rounding to nearest gives.
    const float sign = number.front() == '-' ? -1.0f : 1.0f;
    return orderOf(number) >= 0 ? sign * std::numeric_limits<float>::infinity() : sign * 0.0f;
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::unique_ptr<char[]> copy(new char[size]);
  if (size != 0) std::memcpy(copy.get(), data, size);
  const std::string_view text(copy.get(), size);

  const float got = product(text);
  const float want = reference(text);
  if (std::bit_cast<std::uint32_t>(got) != std::bit_cast<std::uint32_t>(want)) {
    std::fprintf(stderr, "textToFloat(\"%.*s\"): expected %a got %a\n", static_cast<int>(size), copy.get(),
                 static_cast<double>(want), static_cast<double>(got));
    std::abort();
  }
  return 0;
}
