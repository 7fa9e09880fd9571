// Decoding a picture box's PNG bytes and laying the picture over the box's
// background colour, without Windows. Decoding takes two steps so that the
// caller can provide the pixel memory once the size is known: the box
// decodes straight into its bitmap, and nothing here allocates.
#pragma once

#include <png.h>

#include <cstddef>
#include <cstdint>

#include "platform/window_layout.h"

namespace kestrana {

// A picture box shows one small picture; anything larger on either side is
// refused rather than allocated.
inline constexpr int kMaxPictureSide = 4096;

// PNG bytes whose header has been read. The bytes must outlive it.
class PngImage {
 public:
  PngImage();
  ~PngImage();
  PngImage(const PngImage&) = delete;
  PngImage& operator=(const PngImage&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }

 private:
  friend bool openPng(const unsigned char*, std::size_t, PngImage&);
  friend bool decodePng(PngImage&, std::uint8_t*);
  void close();

  png_image image_;
  int width_ = 0, height_ = 0;
};

// Reads the header: true, and the size, when the bytes are a PNG file that
// libpng can read with 1 to kMaxPictureSide pixels on each side.
bool openPng(const unsigned char* bytes, std::size_t size, PngImage& image);

// Decodes an opened picture into `bgra`: width * height pixels, top row
// first, each the four bytes blue, green, red, alpha. False when the data is
// damaged; the buffer's content is then undefined. Either way the picture is
// closed afterwards.
bool decodePng(PngImage& image, std::uint8_t* bgra);

// Lays each of `count` pixels (blue, green, red, alpha) over the background,
// in place: afterwards each is blue, green, red, 0, the layout of a 32-bit
// DIB.
void compositeOver(std::uint8_t* bgra, std::size_t count, Rgb background);

}  // namespace kestrana
