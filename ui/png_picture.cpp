#include "ui/png_picture.h"

#include <png.h>

#include <cstring>

namespace kestrana {

namespace {

// libpng allocates a chunk's declared length before it reads the chunk and
// only warns when that length is absurd, so a few hundred bytes can ask for
// 2 GB. Every chunk before the image data must therefore lie within the
// bytes; libpng reads each of them whole, so a file where one does not
// fails to decode in any case.
bool chunksBeforeImageDataFit(const unsigned char* bytes, std::size_t size) {
  std::size_t pos = 8;  // after the signature
  for (;;) {
    if (size - pos < 8) return false;
    const std::uint32_t length = (std::uint32_t{bytes[pos]} << 24) | (std::uint32_t{bytes[pos + 1]} << 16) |
                                 (std::uint32_t{bytes[pos + 2]} << 8) | bytes[pos + 3];
    if (std::memcmp(bytes + pos + 4, "IDAT", 4) == 0) return true;
    if (length > size - pos - 8 || size - pos - 8 - length < 4) return false;  // data and CRC
    pos += 12 + std::size_t{length};
  }
}

}  // namespace

bool decodePng(const unsigned char* bytes, std::size_t size, Picture& out) {
  out = Picture{};
  static const unsigned char kSignature[4] = {0x89, 0x50, 0x4E, 0x47};
  if (bytes == nullptr || size < 8 || std::memcmp(bytes, kSignature, 4) != 0) return false;
  if (!chunksBeforeImageDataFit(bytes, size)) return false;

  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes, size)) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  // A picture box shows one small picture; anything absurdly large is
  // refused rather than allocated.
  constexpr png_uint_32 kMaxSide = 4096;
  if (image.width == 0 || image.height == 0 || image.width > kMaxSide || image.height > kMaxSide) {
    png_image_free(&image);
    return false;
  }
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.rgba = std::move(pixels);
  return true;
}

std::vector<std::uint32_t> compositeOver(const Picture& picture, Rgb background) {
  // A picture with fewer pixels than its size claims composites to nothing.
  // That is decided before anything is allocated: the size alone may be
  // absurd, and width * height * 4 may not even fit in a size_t.
  if (picture.width < 0 || picture.height < 0) return {};
  const auto width = static_cast<std::size_t>(picture.width);
  const auto height = static_cast<std::size_t>(picture.height);
  if (width != 0 && picture.rgba.size() / 4 / width < height) return {};
  const std::size_t count = width * height;
  std::vector<std::uint32_t> out(count);
  auto blend = [](unsigned src, unsigned dst, unsigned alpha) {
    return (src * alpha + dst * (255 - alpha) + 127) / 255;
  };
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = &picture.rgba[i * 4];
    const unsigned a = p[3];
    const unsigned r = blend(p[0], background.r, a);
    const unsigned g = blend(p[1], background.g, a);
    const unsigned b = blend(p[2], background.b, a);
    out[i] = (r << 16) | (g << 8) | b;
  }
  return out;
}

}  // namespace kestrana
