// The search for the program's folder on arbitrary bytes read as code page
// 936 text: the cut is at a backslash that is a character of its own, never
// the trail byte of a two-byte character, and no such backslash follows it;
// the folder is everything before the cut. The path lies in a heap block of
// exactly its size so that the address sanitizer sees any over-read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace {

// The product's calls, kept here alone.
std::size_t lastBackslash(std::string_view path) { return kestrana::lastBackslashDbcs(path); }
std::string folder(std::string_view path) { return std::string(kestrana::folderOfPath(path)); }

// Lead bytes of code page 936; every other byte is a character by itself
// (0x80 is the euro sign, 0xFF unassigned).
bool isLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// Which bytes start a character, reading from the front as Windows does. A
// lead byte at the very end has no trail byte and stands alone.
std::vector<bool> characterStarts(std::string_view path) {
  std::vector<bool> starts(path.size(), false);
  bool trailNext = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    starts[i] = !trailNext;
    trailNext = !trailNext && isLeadByte(static_cast<unsigned char>(path[i]));
  }
  return starts;
}

[[noreturn]] void violated(std::string_view path, const char* property, std::size_t got) {
  std::fprintf(stderr, "property violated: %s (cut at %zu in", property, got);
  for (unsigned char b : path) std::fprintf(stderr, " %02X", b);
  std::fprintf(stderr, ")\n");
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::unique_ptr<char[]> copy(new char[size]);
  if (size != 0) std::memcpy(copy.get(), data, size);
  const std::string_view path(copy.get(), size);

  const std::vector<bool> starts = characterStarts(path);
  const std::size_t cut = lastBackslash(path);
  if (cut != std::string_view::npos) {
    if (cut >= size) violated(path, "the cut lies inside the path", cut);
    if (path[cut] != '\\') violated(path, "the cut is at a backslash", cut);
    if (!starts[cut]) violated(path, "the cut is not the trail byte of a two-byte character", cut);
  }
  for (std::size_t i = cut == std::string_view::npos ? 0 : cut + 1; i < size; ++i) {
    if (starts[i] && path[i] == '\\') violated(path, "no separator follows the cut", cut);
  }

  const std::string want(cut == std::string_view::npos ? path : path.substr(0, cut));
  if (folder(path) != want) violated(path, "the folder is the path before the cut", cut);
  return 0;
}
