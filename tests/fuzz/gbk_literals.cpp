// Copies a UTF-8 source file, rewriting the non-ASCII contents of its narrow
// string literals as \x escapes of their GBK bytes: the bytes gcc's
// -fexec-charset=GBK puts in the program. clang has no such option, so the
// fuzz build compiles these copies; identifiers stay UTF-8, which clang reads.
//   gbk_literals SOURCE OUTPUT
// A #line directive keeps diagnostics and sanitizer reports on the original.
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

[[noreturn]] void fail(const std::string& where, const std::string& what) {
  std::cerr << where << ": " << what << "\n";
  std::exit(1);
}

std::string toGbk(const std::string& utf8, const std::string& where) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) fail(where, "iconv has no UTF-8 to GBK conversion");
  std::string in = utf8, out(utf8.size() * 2 + 4, '\0');
  char* inp = in.data();
  char* outp = out.data();
  std::size_t inLeft = in.size(), outLeft = out.size();
  const std::size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1) || inLeft != 0) fail(where, "text not representable in GBK");
  out.resize(out.size() - outLeft);
  return out;
}

bool isIdentChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The identifier-like run of characters that ends at pos (exclusive).
std::string tokenBefore(const std::string& s, std::size_t pos) {
  std::size_t b = pos;
  while (b > 0 && isIdentChar(s[b - 1])) --b;
  return s.substr(b, pos - b);
}

class Converter {
 public:
  Converter(std::string src, std::string name) : s_(std::move(src)), name_(std::move(name)) {}

  std::string run() {
    while (i_ < s_.size()) {
      const char c = s_[i_];
      if (c == '/' && peek(1) == '/') {
        copyUntil("\n", false);
      } else if (c == '/' && peek(1) == '*') {
        copyUntil("*/", true);
      } else if (c == '"') {
        const std::string prefix = tokenBefore(s_, i_);
        if (!prefix.empty() && prefix.back() == 'R') {
          rawString(prefix);
        } else {
          // u8, u, U and L literals are not in the execution character set.
          stringLiteral(prefix.empty() || !(prefix == "u8" || prefix == "u" || prefix == "U" || prefix == "L"));
        }
      } else if (c == '\'') {
        const std::string prefix = tokenBefore(s_, i_);
        const bool charPrefix = prefix == "u8" || prefix == "u" || prefix == "U" || prefix == "L";
        if (!prefix.empty() && !charPrefix) {
          out_ += c;  // a digit separator, as in 1'000
          ++i_;
        } else {
          charLiteral();
        }
      } else {
        if (c == '\n') ++line_;
        out_ += c;
        ++i_;
      }
    }
    return out_;
  }

 private:
  char peek(std::size_t k) const { return i_ + k < s_.size() ? s_[i_ + k] : '\0'; }
  std::string where() const { return name_ + ":" + std::to_string(line_); }

  void copyUntil(const std::string& end, bool includeEnd) {
    const std::size_t stop = s_.find(end, i_ + 2);
    const std::size_t to = stop == std::string::npos ? s_.size() : stop + (includeEnd ? end.size() : 0);
    for (; i_ < to; ++i_) {
      if (s_[i_] == '\n') ++line_;
      out_ += s_[i_];
    }
  }

  void stringLiteral(bool narrow) {
    out_ += s_[i_++];  // opening quote
    bool afterOwnEscape = false;
    while (i_ < s_.size() && s_[i_] != '"') {
      const char c = s_[i_];
      if (c == '\n') fail(where(), "unterminated string literal");
      if (c == '\\') {
        out_ += c;
        out_ += peek(1);
        i_ += 2;
        afterOwnEscape = false;
      } else if (narrow && static_cast<unsigned char>(c) >= 0x80) {
        std::size_t end = i_;
        while (end < s_.size() && static_cast<unsigned char>(s_[end]) >= 0x80) ++end;
        for (unsigned char b : toGbk(s_.substr(i_, end - i_), where())) {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02x", b);
          out_ += hex;
        }
        i_ = end;
        afterOwnEscape = true;
      } else {
        // A hex digit right after a \x escape would extend it: end the
        // literal there and let concatenation join the rest.
        if (afterOwnEscape && isHexDigit(c)) out_ += "\"\"";
        out_ += c;
        ++i_;
        afterOwnEscape = false;
      }
    }
    if (i_ >= s_.size()) fail(where(), "unterminated string literal");
    out_ += s_[i_++];  // closing quote
  }

  void charLiteral() {
    out_ += s_[i_++];
    while (i_ < s_.size() && s_[i_] != '\'') {
      if (s_[i_] == '\n') fail(where(), "unterminated character literal");
      if (static_cast<unsigned char>(s_[i_]) >= 0x80) fail(where(), "non-ASCII character literal");
      if (s_[i_] == '\\') out_ += s_[i_++];
      out_ += s_[i_++];
    }
    if (i_ < s_.size()) out_ += s_[i_++];
  }

  // Raw literals cannot hold escapes; one with non-ASCII text is refused.
  void rawString(const std::string& prefix) {
    const std::size_t open = s_.find('(', i_);
    if (open == std::string::npos) fail(where(), "malformed raw string literal");
    const std::string delimiter = ")" + s_.substr(i_ + 1, open - i_ - 1) + "\"";
    const std::size_t close = s_.find(delimiter, open);
    if (close == std::string::npos) fail(where(), "unterminated raw string literal");
    const std::size_t end = close + delimiter.size();
    const bool narrow = prefix == "R";
    for (; i_ < end; ++i_) {
      if (narrow && static_cast<unsigned char>(s_[i_]) >= 0x80) fail(where(), "non-ASCII text in a raw string literal");
      if (s_[i_] == '\n') ++line_;
      out_ += s_[i_];
    }
  }

  std::string s_, name_, out_;
  std::size_t i_ = 0;
  int line_ = 1;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) fail("gbk_literals", "usage: gbk_literals SOURCE OUTPUT");
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) fail(argv[1], "cannot read");
  const std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string converted = Converter(source, argv[1]).run();

  const std::string tmp = std::string(argv[2]) + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary);
    out << "#line 1 \"" << argv[1] << "\"\n" << converted;
    if (!out) fail(argv[2], "cannot write");
  }
  if (std::rename(tmp.c_str(), argv[2]) != 0) fail(argv[2], "cannot rename");
  return 0;
}
