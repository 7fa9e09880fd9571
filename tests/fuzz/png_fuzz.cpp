// The picture box's decoding and compositing fed arbitrary bytes: bytes that
// do not open leave no picture, a picture that opens has a sensible size,
// and compositing lays opaque pixels over the background unchanged, shows the
// background through transparent ones and keeps every channel between
// picture and background. The same bytes, read as raw pixels, go through
// compositeOver too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ui/png_picture.h"

namespace {

using kestrana::PngImage;
using kestrana::Rgb;

// The product's calls, kept here alone.
bool open(const std::uint8_t* data, std::size_t size, PngImage& image) {
  return kestrana::openPng(data, size, image);
}
bool decode(PngImage& image, std::uint8_t* bgra) { return kestrana::decodePng(image, bgra); }
void composite(std::uint8_t* bgra, std::size_t count, Rgb background) {
  kestrana::compositeOver(bgra, count, background);
}

void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", property);
  std::abort();
}

bool between(unsigned value, unsigned a, unsigned b) {
  return value >= std::min(a, b) && value <= std::max(a, b);
}

// Composites a copy of `pixels` (blue, green, red, alpha) and checks each
// result against its source pixel.
void checkComposite(const std::vector<std::uint8_t>& pixels, Rgb background) {
  std::vector<std::uint8_t> out(pixels);
  composite(out.data(), out.size() / 4, background);
  const unsigned bg[3] = {background.b, background.g, background.r};
  for (std::size_t i = 0; i + 4 <= out.size(); i += 4) {
    const std::uint8_t* src = &pixels[i];
    require(out[i + 3] == 0, "the fourth byte of a composited pixel is zero");
    for (int c = 0; c < 3; ++c) {
      if (src[3] == 255) require(out[i + c] == src[c], "an opaque pixel keeps its colour");
      if (src[3] == 0) require(out[i + c] == bg[c], "a transparent pixel shows the background");
      require(between(out[i + c], src[c], bg[c]), "a blended channel lies between picture and background");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Bytes after a PNG's end chunk are never read, so the background comes
  // from the tail: mutations can vary it without breaking the picture.
  const Rgb background = size >= 3 ? Rgb{data[size - 1], data[size - 2], data[size - 3]} : Rgb{};

  PngImage image;
  if (open(data, size, image)) {
    require(image.width() >= 1 && image.width() <= kestrana::kMaxPictureSide && image.height() >= 1 &&
                image.height() <= kestrana::kMaxPictureSide,
            "an opened picture has a sensible size");
    // Exactly sized, so that a decoder writing past the picture is caught.
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(image.width()) * image.height() * 4);
    if (decode(image, pixels.data())) checkComposite(pixels, background);
  } else {
    require(image.width() == 0 && image.height() == 0, "bytes that do not open leave no picture");
  }

  // The bytes themselves as pixels, whatever they hold.
  checkComposite(std::vector<std::uint8_t>(data, data + size - size % 4), background);
  return 0;
}
