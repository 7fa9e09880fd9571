// The picture box's decoding and compositing fed arbitrary bytes: a PNG that
// does not decode leaves no picture, one that does gives a picture whose size
// and pixel count agree, and compositing never crashes, lays opaque pixels
// over the background unchanged and keeps every channel between picture and
// background. The same bytes, read as a raw picture (width, height, pixels),
// show compositeOver an inconsistent picture too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ui/png_picture.h"

namespace {

using kestrana::Picture;
using kestrana::Rgb;

// The product's two calls, kept here alone.
bool decode(const std::uint8_t* data, std::size_t size, Picture& out) {
  return kestrana::decodePng(data, size, out);
}
std::vector<std::uint32_t> composite(const Picture& picture, Rgb background) {
  return kestrana::compositeOver(picture, background);
}

void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", property);
  std::abort();
}

bool between(unsigned value, unsigned a, unsigned b) {
  return value >= std::min(a, b) && value <= std::max(a, b);
}

void checkComposite(const Picture& picture, Rgb background) {
  const std::vector<std::uint32_t> pixels = composite(picture, background);
  const std::size_t count = static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height);
  require(pixels.size() == count, "one composited word per pixel");
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* src = &picture.rgba[i * 4];
    const unsigned out[3] = {(pixels[i] >> 16) & 0xFF, (pixels[i] >> 8) & 0xFF, pixels[i] & 0xFF};
    const unsigned bg[3] = {background.r, background.g, background.b};
    require((pixels[i] >> 24) == 0, "the top byte of a composited word is zero");
    for (int c = 0; c < 3; ++c) {
      if (src[3] == 255) require(out[c] == src[c], "an opaque pixel keeps its colour");
      if (src[3] == 0) require(out[c] == bg[c], "a transparent pixel shows the background");
      require(between(out[c], src[c], bg[c]), "a blended channel lies between picture and background");
    }
  }
}

std::int32_t readInt32(const std::uint8_t* p) {
  std::uint32_t v = 0;
  std::memcpy(&v, p, sizeof v);
  return static_cast<std::int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Bytes after a PNG's end chunk are never read, so the background comes
  // from the tail: mutations can vary it without breaking the picture.
  const Rgb background = size >= 3 ? Rgb{data[size - 1], data[size - 2], data[size - 3]} : Rgb{};

  Picture picture;
  picture.width = -1;  // the decoder must reset what it is given
  if (decode(data, size, picture)) {
    require(picture.width >= 1 && picture.width <= 4096 && picture.height >= 1 && picture.height <= 4096,
            "a decoded picture has a sensible size");
    require(picture.rgba.size() == static_cast<std::size_t>(picture.width) * picture.height * 4,
            "a decoded picture has four bytes per pixel");
    checkComposite(picture, background);
  } else {
    require(picture.width == 0 && picture.height == 0 && picture.rgba.empty(),
            "bytes that do not decode leave no picture");
  }

  if (size >= 8) {
    Picture raw;
    raw.width = readInt32(data);
    raw.height = readInt32(data + 4);
    raw.rgba.assign(data + 8, data + size);
    const bool consistent = raw.width >= 0 && raw.height >= 0 &&
                            (raw.width == 0 || raw.height == 0 ||
                             raw.rgba.size() / 4 / static_cast<std::size_t>(raw.width) >=
                                 static_cast<std::size_t>(raw.height));
    if (consistent) {
      checkComposite(raw, background);
    } else {
      require(composite(raw, background).empty(), "a picture with too few pixels composites to nothing");
    }
  }
  return 0;
}
