#include "ui/png_picture.h"

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

PngImage::PngImage() { std::memset(&image_, 0, sizeof image_); }

PngImage::~PngImage() { close(); }

void PngImage::close() {
  png_image_free(&image_);
  std::memset(&image_, 0, sizeof image_);
  width_ = height_ = 0;
}

bool openPng(const unsigned char* bytes, std::size_t size, PngImage& image) {
  image.close();
  static const unsigned char kSignature[4] = {0x89, 0x50, 0x4E, 0x47};
  if (bytes == nullptr || size < 8 || std::memcmp(bytes, kSignature, 4) != 0) return false;
  if (!chunksBeforeImageDataFit(bytes, size)) return false;
  image.image_.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image.image_, bytes, size)) {
    image.close();
    return false;
  }
  const png_uint_32 width = image.image_.width, height = image.image_.height;
  if (width == 0 || height == 0 || width > kMaxPictureSide || height > kMaxPictureSide) {
    image.close();
    return false;
  }
  image.image_.format = PNG_FORMAT_BGRA;
  image.width_ = static_cast<int>(width);
  image.height_ = static_cast<int>(height);
  return true;
}

bool decodePng(PngImage& image, std::uint8_t* bgra) {
  const bool decoded = image.width_ > 0 && bgra != nullptr &&
                       png_image_finish_read(&image.image_, nullptr, bgra, 0, nullptr) != 0;
  image.close();
  return decoded;
}

void compositeOver(std::uint8_t* bgra, std::size_t count, Rgb background) {
  auto blend = [](unsigned src, unsigned dst, unsigned alpha) {
    return static_cast<std::uint8_t>((src * alpha + dst * (255 - alpha) + 127) / 255);
  };
  for (std::uint8_t* p = bgra; count > 0; --count, p += 4) {
    const unsigned a = p[3];
    p[0] = blend(p[0], background.b, a);
    p[1] = blend(p[1], background.g, a);
    p[2] = blend(p[2], background.r, a);
    p[3] = 0;
  }
}

}  // namespace kestrana
