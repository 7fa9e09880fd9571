// Decoding a picture box's PNG bytes and laying the picture over the box's
// background colour, without Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/window_layout.h"

namespace kestrana {

struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgba;  // width * height * 4, top row first
};

// True and the picture when the bytes are a PNG file libpng can decode.
bool decodePng(const unsigned char* bytes, std::size_t size, Picture& out);

// The picture's pixels composited over the background as 0x00RRGGBB words,
// top row first: the layout of a top-down 32-bit DIB.
std::vector<std::uint32_t> compositeOver(const Picture& picture, Rgb background);

}  // namespace kestrana
