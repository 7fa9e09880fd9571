// Number parsing, version texts and the gate decision, registry paths, the
// double-byte path search and the answer-code map.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "fake_platform.h"
#include "platform/text.h"

namespace {

using kestrana::test::convertText;
using kestrana::test::utf8;

std::string hexFloat(float f) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%a (%.9g, bits %08x)", static_cast<double>(f), static_cast<double>(f),
                std::bit_cast<std::uint32_t>(f));
  return buffer;
}

// Shows control characters so that the case is recognisable in a failure.
std::string visible(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\v': out += "\\v"; break;
      case '\f': out += "\\f"; break;
      default: out += c;
    }
  }
  return out;
}

struct FloatCase {
  const char* text;
  float expected;
  const char* fault;
};

// Guards against a parser that accepts more or less than a plain decimal
// number, or rounds differently from one step to single precision.
TEST(TextToFloat, ParsesTheLeadingDecimalNumberAndRoundsToSinglePrecision) {
  const FloatCase cases[] = {
      {"6.00", 6.0f, "the exact threshold must not drift"},
      {"6.01", 6.01f, "rounding to single precision"},
      {"5.01", 5.01f, "an ordinary older version"},
      {"10.00", 10.0f, "two-digit major versions"},
      {"6,1", 6.0f, "a comma is not a decimal point"},
      {" 6.1", 6.1f, "leading space is skipped"},
      {"\t\n 6.1", 6.1f, "tabs and newlines are white space too"},
      {"\r\v\f6.1", 6.1f, "every C white-space character is skipped"},
      {"", 0.0f, "empty text"},
      {"abc", 0.0f, "no number at the start"},
      {"unknown", 0.0f, "the version query's failure text"},
      {".", 0.0f, "a lone point has no digits"},
      {"-", 0.0f, "a lone sign has no digits"},
      {"+", 0.0f, "a lone sign has no digits"},
      {"- 6", 0.0f, "no space between sign and digits"},
      {".5", 0.5f, "digits after the point only"},
      {"+.5", 0.5f, "sign then point then digits"},
      {"6.", 6.0f, "digits before the point only"},
      {"+6.1", 6.1f, "explicit plus sign"},
      {"-6.1", -6.1f, "minus sign"},
      {"1e3", 1000.0f, "exponent"},
      {"1E-2", 0.01f, "upper-case exponent with sign"},
      {"1e", 1.0f, "an exponent marker without digits is not part of the number"},
      {"1e+", 1.0f, "an exponent sign without digits is not part of the number"},
      {"1e-", 1.0f, "an exponent sign without digits is not part of the number"},
      {"e5", 0.0f, "an exponent without a mantissa"},
      {"2.5e1x", 25.0f, "parsing stops at the first character that does not fit"},
      {"6.00abc", 6.0f, "trailing letters are ignored"},
      {"6.1.2", 6.1f, "a second point ends the number"},
      {"0x10", 0.0f, "no hexadecimal numbers"},
      {"inf", 0.0f, "no infinity"},
      {"INF", 0.0f, "no infinity"},
      {"infinity", 0.0f, "no infinity"},
      {"nan", 0.0f, "no not-a-number"},
      {"nan(1)", 0.0f, "no not-a-number"},
      // 1 + 2^-24 is exactly halfway between two floats; the extra digit puts
      // the text above it. Parsing to double first lands on the halfway point
      // and then rounds down to 1.
      {"1.000000059604644775390625000001", 1.00000011920928955078125f,
       "one rounding straight to single precision, not through double"},
      {"16777217", 16777216.0f, "ties round to even"},
  };
  for (const FloatCase& c : cases) {
    const float got = kestrana::textToFloat(c.text);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(c.expected), std::bit_cast<std::uint32_t>(got))
        << "text \"" << visible(c.text) << "\" (" << c.fault << "): expected " << hexFloat(c.expected) << " got "
        << hexFloat(got);
  }
}

// Guards against parsing in double precision: the gate sees the widened
// single-precision value, 6.010000228881836, not the double 6.01.
TEST(TextToFloat, SixPointZeroOneWidensToTheSinglePrecisionValue) {
  const float got = kestrana::textToFloat("6.01");
  EXPECT_EQ(0x40C051ECu, std::bit_cast<std::uint32_t>(got)) << "expected " << hexFloat(6.01f) << " got "
                                                            << hexFloat(got);
  EXPECT_EQ(6.010000228881836, static_cast<double>(got)) << "6.01 must not come back as the double 6.01";
  EXPECT_NE(6.01, static_cast<double>(got));
  EXPECT_EQ(6.0f, kestrana::textToFloat("6.00")) << "6.00 must be exactly 6";
}

// Guards against handing the view's data to a parser that reads on to a
// terminator the view does not include.
TEST(TextToFloat, ReadsOnlyTheCharactersOfTheView) {
  const std::string_view cut("6.257", 4);
  const float got = kestrana::textToFloat(cut);
  EXPECT_EQ(6.25f, got) << "expected " << hexFloat(6.25f) << " got " << hexFloat(got);
}

// Guards against the fixed-size rewrite of a long number: digits beyond
// those kept must still decide a tie, leading zeros must shift the exponent,
// and an exponent too long to hold must still count as huge.
TEST(TextToFloat, LongTextsRoundAsTheWholeNumber) {
  const std::string zeros(200, '0');
  // 1 + 2^-24, exactly halfway between 1 and the next float up.
  const std::string half = "1.000000059604644775390625";
  struct Case {
    std::string text;
    float expected;
    const char* fault;
  };
  const Case cases[] = {
      {half + zeros, 1.0f, "an exact tie rounds to even"},
      {half + zeros + "1", 1.00000011920928955078125f, "a nonzero digit far beyond the tie rounds up"},
      {"-" + half + zeros + "1", -1.00000011920928955078125f, "the same, negative"},
      {"0." + zeros + "1e201", 1.0f, "leading zeros after the point shift the exponent"},
      {zeros + "6.01", 6.01f, "leading zeros before the point are not significant"},
      {"1" + zeros + "e-200", 1.0f, "trailing integer digits shift the exponent"},
      {"1" + zeros + zeros, std::numeric_limits<float>::infinity(), "a 401-digit integer overflows"},
      {"1e" + zeros + "5", 100000.0f, "leading zeros of the exponent"},
      {"1e99999999999999999999", std::numeric_limits<float>::infinity(), "an exponent longer than any integer"},
      {"1e-99999999999999999999", 0.0f, "a negative exponent longer than any integer"},
      {"0." + zeros, 0.0f, "all zeros"},
      {"-0.0", -0.0f, "negative zero keeps its sign"},
  };
  for (const Case& c : cases) {
    const float got = kestrana::textToFloat(c.text);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(c.expected), std::bit_cast<std::uint32_t>(got))
        << c.fault << " (" << c.text.size() << " characters): expected " << hexFloat(c.expected) << " got "
        << hexFloat(got);
  }
}

// Guards against refusing a supported system or letting through an old or
// unknown one.
TEST(SystemVersionGate, PassesFromSixPointZeroAndRefusesEverythingOlderOrUnknown) {
  struct Case {
    const char* text;
    bool passes;
  };
  const Case cases[] = {
      {"6.00", true},  {"6.01", true},  {"6.02", true},  {"10.00", true}, {"6", true},
      {"5.01", false}, {"5.02", false}, {"4.00", false}, {"", false},     {"unknown", false},
      {"5.9999", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.passes, kestrana::systemVersionPasses(c.text))
        << "version text \"" << c.text << "\": expected " << (c.passes ? "pass" : "refuse") << " got "
        << (c.passes ? "refuse" : "pass");
  }
}

// Guards against dropping the leading zero of the minor number: version 6.1
// must read "6.01", not "6.1", which stands for a higher number.
TEST(VersionText, MajorThenTwoDigitMinor) {
  struct Case {
    unsigned major, minor;
    const char* expected;
  };
  const Case cases[] = {{5, 1, "5.01"}, {6, 0, "6.00"}, {10, 0, "10.00"}, {6, 12, "6.12"}, {6, 2, "6.02"}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, kestrana::formatVersionText(c.major, c.minor).view())
        << "version " << c.major << "." << c.minor << ": the minor number must have at least two digits";
  }
}

// Guards against splitting the registry path at the wrong backslash.
TEST(RegistryPath, SplitsAtTheLastBackslash) {
  struct Case {
    const char* path;
    const char* key;
    const char* value;
    const char* fault;
  };
  const Case cases[] = {
      {"System\\CurrentControlSet\\Services\\USBstor\\Start", "System\\CurrentControlSet\\Services\\USBstor",
       "Start", "splitting at the first backslash instead of the last"},
      {"Start", "", "Start", "a path without a backslash is all value name"},
      {"Key\\", "Key", "", "a trailing backslash names the empty (default) value"},
      {"\\Start", "", "Start", "a leading backslash leaves an empty key"},
      {"", "", "", "empty path"},
  };
  for (const Case& c : cases) {
    kestrana::RegistryPath got;
    ASSERT_TRUE(kestrana::splitRegistryPath(c.path, got)) << "path \"" << c.path << "\"";
    EXPECT_STREQ(c.key, got.key) << "path \"" << c.path << "\" (" << c.fault << "): key";
    EXPECT_STREQ(c.value, got.value) << "path \"" << c.path << "\" (" << c.fault << "): value name";
  }
}

// Guards against overrunning the fixed buffer the key path is copied into.
TEST(RegistryPath, AKeyPathTooLongForItsBufferIsRefused) {
  for (std::size_t length : {kestrana::kMaxRegistryKeyPath - 1, kestrana::kMaxRegistryKeyPath}) {
    const std::string path = std::string(length, 'k') + "\\Start";
    kestrana::RegistryPath got;
    const bool fits = length < kestrana::kMaxRegistryKeyPath;
    ASSERT_EQ(fits, kestrana::splitRegistryPath(path.c_str(), got)) << "key path of " << length << " bytes";
    if (fits) {
      EXPECT_EQ(length, std::strlen(got.key));
      EXPECT_STREQ("Start", got.value);
    }
  }
}

// Guards against the path tests below testing nothing: "昞" must be
// 0x95 0x5C in GBK, a character whose trail byte is a backslash.
TEST(DoubleBytePath, TheTestCharacterReallyHasABackslashTrailByte) {
  EXPECT_EQ("\x95\x5C", std::string("昞")) << "the compiler did not turn the literal into GBK";
  EXPECT_EQ("\x95\x5C", convertText(reinterpret_cast<const char*>(u8"昞"), "UTF-8", "GBK"));
}

// Guards against cutting the program's folder at a trail byte 0x5C.
TEST(DoubleBytePath, TrailBytesAreNeverSeparators) {
  struct Case {
    std::string path;
    std::size_t lastBackslash;
    const char* folder;  // nullptr: not checked
    const char* fault;
  };
  const std::size_t npos = std::string::npos;
  const Case cases[] = {
      {"C:\\Tools\\昞\\Kestrana.exe", 11, "C:\\Tools\\昞", "the folder name ends in a 0x5C trail byte"},
      {"C:\\Tools\\昞", 8, "C:\\Tools", "a path ending in such a character has its last separator before it"},
      {"C:\\Tools\\昞.exe", 8, "C:\\Tools", "such a character inside the file name"},
      {"C:\\昞昞\\Kestrana.exe", 7, "C:\\昞昞", "two such characters in a row"},
      {"C:\\工具\\Kestrana.exe", 7, "C:\\工具", "ordinary double-byte folder names"},
      {"C:\\Tools\\Kestrana.exe", 8, "C:\\Tools", "plain ASCII paths"},
      {"\\Kestrana.exe", 0, "", "a separator at the very start"},
      {"Kestrana.exe", npos, nullptr, "no separator at all"},
      {"昞", npos, nullptr, "only a 0x5C trail byte"},
      {std::string("C:\\a\x95"), 2, "C:", "a lone lead byte at the end is not read past"},
      {"C:\\a\x80\\b\xFF\\Kestrana.exe", 8, "C:\\a\x80\\b\xFF", "0x80 (the euro sign) and 0xFF are no lead bytes"},
  };
  for (const Case& c : cases) {
    const std::size_t got = kestrana::lastBackslashDbcs(c.path);
    EXPECT_EQ(c.lastBackslash, got) << "path \"" << utf8(c.path) << "\" (" << c.fault << "): expected index "
                                    << c.lastBackslash << " got " << got;
    if (c.folder != nullptr) {
      const std::string folder(kestrana::folderOfPath(c.path));
      EXPECT_EQ(c.folder, folder) << "path \"" << utf8(c.path) << "\" (" << c.fault << "): expected folder \""
                                  << utf8(c.folder) << "\" got \"" << utf8(folder) << "\"";
    }
  }
}

// Guards against an off-by-one answer map, or an unknown result read as Yes.
TEST(AnswerCodes, DialogResultsMapToTheProgramsCodes) {
  struct Case {
    int result;
    std::int32_t answer;
  };
  // IDOK 1, IDCANCEL 2, IDABORT 3, IDRETRY 4, IDIGNORE 5, IDYES 6, IDNO 7;
  // failure (0) and every other result (IDCLOSE 8, IDHELP 9 ...) give 0.
  const Case cases[] = {{1, 0}, {2, 1},  {3, 2},  {4, 3},   {5, 4}, {6, 5},
                        {7, 6}, {0, 0},  {8, 0},  {9, 0},   {11, 0}, {-1, 0}, {100, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.answer, kestrana::answerFromDialogResult(c.result))
        << "dialog result " << c.result << ": expected answer " << c.answer;
  }
}

}  // namespace
