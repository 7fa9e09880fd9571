// The stored change-log text and the About window's web addresses.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "info/changelog_window.h"
#include "info/web.h"

namespace {

using kestrana::test::convertText;
using kestrana::test::utf8;

std::string gbk(const char8_t* text) { return convertText(reinterpret_cast<const char*>(text), "UTF-8", "GBK"); }

std::string hexBytes(const std::string& bytes) {
  static const char* const kDigits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::vector<std::string> splitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t crlf; (crlf = text.find("\r\n", start)) != std::string::npos; start = crlf + 2) {
    lines.push_back(text.substr(start, crlf - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

// Guards against the em dash being compiled to other bytes than the C
// library's GBK table gives for U+2014 (for example a horizontal bar or a
// hyphen), so that the box would show a different character.
TEST(ChangeLog, EmDashIsTheSameGbkBytesInTheLibraryAndTheCompiledLiteral) {
  const std::string library = gbk(u8"\u2014");
  EXPECT_EQ("A1 AA", hexBytes(library)) << "glibc's GBK bytes for U+2014";
  EXPECT_EQ(hexBytes(library), hexBytes("—")) << "the compiler's GBK bytes for U+2014";
}

// Guards against a change in the history text: a lost line, a bare LF, a
// trailing CR LF, a dash line of the wrong length or a changed character.
TEST(ChangeLog, TextIsTheNineStoredLinesIn224GbkBytes) {
  const std::string text = kestrana::kChangeLogText;
  EXPECT_EQ(224u, text.size()) << "expected 224 bytes got " << text.size();
  const std::vector<std::string> lines = splitCrLf(text);
  // Built from UTF-8 at run time, independently of the compiler's
  // conversion of the product's literal.
  const std::string dashes(25, '-');
  const std::vector<std::string> expected = {
      dashes,
      gbk(u8"V1.1\u2014\u20142020.08.01"),
      dashes,
      gbk(u8"1、上一版本的软件界面文案有误会误导使用者，现予以修正。"),
      "",
      dashes,
      gbk(u8"V1.0\u2014\u20142020.07.31"),
      dashes,
      gbk(u8"1、软件正式发布。"),
  };
  std::size_t expectedSize = 0;
  for (const std::string& line : expected) expectedSize += line.size();
  EXPECT_EQ(224u, expectedSize + 2 * (expected.size() - 1)) << "the expected lines themselves are not 224 bytes";

  ASSERT_EQ(expected.size(), lines.size()) << "expected 9 lines got " << lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(expected[i], lines[i]) << "line " << i + 1 << ": expected \"" << utf8(expected[i]) << "\" got \""
                                     << utf8(lines[i]) << "\"";
    EXPECT_EQ(std::string::npos, lines[i].find_first_of("\r\n")) << "line " << i + 1 << " holds a lone CR or LF";
  }
  EXPECT_NE("\r\n", text.substr(text.size() - 2)) << "the last line must not end with CR LF";
  for (std::size_t i : {0u, 2u, 5u, 7u}) EXPECT_EQ(25u, lines[i].size()) << "dash line " << i + 1;
}

// Guards against the forum address losing its trailing space, gaining a
// second one, or not being a secure address on the forum host.
TEST(WebAddresses, ForumAddressIsTheHomePageWithOneTrailingSpace) {
  const std::string host = kestrana::kForumHost;
  const std::string id = kestrana::kForumUserId;
  const std::string expected = "https://" + host + "/?fromuid=" + id + " ";
  EXPECT_EQ(expected, std::string(kestrana::kForumAddress));
  const std::string address = kestrana::kForumAddress;
  ASSERT_GE(address.size(), 2u);
  EXPECT_EQ(' ', address.back()) << "no trailing space";
  EXPECT_NE(' ', address[address.size() - 2]) << "more than one trailing space";
}

// Guards against the profile address pointing at another page or user.
TEST(WebAddresses, ProfileAddressIsTheAuthorsSpacePage) {
  const std::string expected =
      std::string("https://") + kestrana::kForumHost + "/home.php?mod=space&uid=" + kestrana::kForumUserId;
  EXPECT_EQ(expected, std::string(kestrana::kProfileAddress));
}

// Guards against the links reaching a real site: the host must sit under a
// domain reserved for examples, and the user id must be a plain number.
TEST(WebAddresses, HostIsReservedAndUserIdIsNumeric) {
  const std::string host = kestrana::kForumHost;
  const auto endsWith = [&](const std::string& suffix) {
    return host.size() > suffix.size() && host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  EXPECT_TRUE(endsWith(".example.org") || endsWith(".example.com") || endsWith(".example.net") ||
              endsWith(".example") || endsWith(".test") || endsWith(".invalid"))
      << "host \"" << host << "\" is not under a reserved example domain";
  EXPECT_EQ(std::string::npos, host.find_first_of(" /:?#")) << "host \"" << host << "\"";
  const std::string id = kestrana::kForumUserId;
  EXPECT_FALSE(id.empty());
  for (char c : id) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << "user id \"" << id << "\"";
}

// Guards against a credit with extra spaces or a different forum name.
TEST(WebAddresses, CreditIsByQuorvelAtTheHandleWithNoOtherSpaces) {
  const std::string credit = kestrana::kAuthorCredit;
  const std::string prefix = "By Quorvel@";
  ASSERT_EQ(0u, credit.rfind(prefix, 0)) << "credit \"" << credit << "\" does not start with \"" << prefix << "\"";
  const std::string handle = credit.substr(prefix.size());
  EXPECT_FALSE(handle.empty()) << "no handle after the at sign";
  EXPECT_EQ(std::string::npos, handle.find_first_of(" \t")) << "handle \"" << handle << "\" holds a space";
  EXPECT_EQ(1u, static_cast<std::size_t>(std::count(credit.begin(), credit.end(), ' ')))
      << "credit \"" << credit << "\" must hold exactly the one space after By";
}

}  // namespace
