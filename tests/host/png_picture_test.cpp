// Decoding a picture box's PNG bytes, including damaged input, and laying
// the picture over the box's background.

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "info/logo.h"
#include "ui/png_picture.h"

namespace {

using Bytes = std::vector<unsigned char>;
using kestrana::compositeOver;
using kestrana::decodePng;
using kestrana::openPng;
using kestrana::PngImage;
using kestrana::Rgb;

Bytes logo() { return Bytes(kestrana::kLogoPng, kestrana::kLogoPng + kestrana::kLogoPngSize); }

std::uint32_t be32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
void putBe32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

struct ChunkAt {
  std::size_t start;  // offset of the length field
  std::uint32_t length;
};

// The first chunk of the type, or start == 0 when there is none.
ChunkAt findChunk(const Bytes& png, const char* type) {
  for (std::size_t pos = 8; pos + 12 <= png.size();) {
    const std::uint32_t len = be32(&png[pos]);
    if (std::memcmp(&png[pos + 4], type, 4) == 0) return {pos, len};
    pos += 12 + len;
  }
  return {0, 0};
}

void fixCrc(Bytes& png, const ChunkAt& chunk) {
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), &png[chunk.start + 4], chunk.length + 4);
  putBe32(&png[chunk.start + 8 + chunk.length], static_cast<std::uint32_t>(crc));
}

// A PNG written by libpng from the pixels given in the format given.
Bytes makePng(int width, int height, png_uint_32 format, const std::vector<std::uint8_t>& pixels) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = format;
  png_alloc_size_t size = 0;
  if (!png_image_write_get_memory_size(image, size, 0, pixels.data(), 0, nullptr)) return {};
  Bytes out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, nullptr)) return {};
  out.resize(size);
  return out;
}

// Both steps of decoding, into a buffer of the size the header gave.
struct Decoded {
  bool opened = false, decoded = false;
  int width = 0, height = 0;
  std::vector<std::uint8_t> bgra;
};

Decoded decode(const unsigned char* bytes, std::size_t size) {
  Decoded d;
  PngImage image;
  d.opened = openPng(bytes, size, image);
  if (!d.opened) return d;
  d.width = image.width();
  d.height = image.height();
  d.bgra.assign(static_cast<std::size_t>(d.width) * d.height * 4, 0xCD);
  d.decoded = decodePng(image, d.bgra.data());
  return d;
}

// Guards against the logo not decoding, or decoding at the wrong size.
TEST(DecodePng, TheLogoDecodesTo100By100Bgra) {
  const Decoded d = decode(kestrana::kLogoPng, kestrana::kLogoPngSize);
  ASSERT_TRUE(d.opened && d.decoded);
  EXPECT_EQ(100, d.width);
  EXPECT_EQ(100, d.height);
  // Clear corners, solid middle: alpha is the fourth byte.
  EXPECT_EQ(0, d.bgra[3]) << "alpha of the top-left pixel";
  EXPECT_EQ(255, d.bgra[(50 * 100 + 50) * 4 + 3]) << "alpha of the middle pixel";
}

// Guards against channels swapped or rows turned upside down on the way out
// of the decoder, and against alpha not being made opaque for RGB files.
TEST(DecodePng, SmallPicturesDecodeToTheirExactPixels) {
  struct Case {
    const char* name;
    int width, height;
    png_uint_32 format;
    std::vector<std::uint8_t> written;
    std::vector<std::uint8_t> expectedBgra;
  };
  const Case cases[] = {
      {"2x1 RGBA", 2, 1, PNG_FORMAT_RGBA, {10, 20, 30, 40, 250, 128, 0, 255}, {30, 20, 10, 40, 0, 128, 250, 255}},
      {"1x2 RGB", 1, 2, PNG_FORMAT_RGB, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 255, 6, 5, 4, 255}},
      {"2x1 grey with alpha", 2, 1, PNG_FORMAT_GA, {7, 0, 200, 100}, {7, 7, 7, 0, 200, 200, 200, 100}},
  };
  for (const Case& c : cases) {
    const Bytes png = makePng(c.width, c.height, c.format, c.written);
    ASSERT_FALSE(png.empty()) << c.name << ": libpng could not write the test picture";
    const Decoded d = decode(png.data(), png.size());
    ASSERT_TRUE(d.opened && d.decoded) << c.name;
    EXPECT_EQ(c.width, d.width) << c.name;
    EXPECT_EQ(c.height, d.height) << c.name;
    EXPECT_EQ(c.expectedBgra, d.bgra) << c.name;
  }
}

// Guards against damaged or foreign bytes passing for a picture, a size left
// over from the picture opened before, or bytes being read past their end (the sanitizers
// watch that).
TEST(DecodePng, DamagedBytesDecodeToNothing) {
  struct Case {
    std::string name;
    Bytes bytes;
  };
  std::vector<Case> cases;
  const Bytes good = logo();
  for (std::size_t keep : {std::size_t{0}, std::size_t{4}, std::size_t{8}, std::size_t{20}, std::size_t{33},
                           good.size() / 2, good.size() - 40}) {
    cases.push_back({"truncated to " + std::to_string(keep) + " bytes", Bytes(good.begin(), good.begin() + keep)});
  }
  for (std::size_t at : {0u, 1u, 3u, 4u, 7u}) {
    Bytes b = good;
    b[at] ^= 0x01;
    cases.push_back({"signature byte " + std::to_string(at) + " changed", b});
  }
  {
    Bytes b = good;
    const ChunkAt ihdr = findChunk(b, "IHDR");
    b[ihdr.start + 8 + ihdr.length + 3] ^= 0xFF;
    cases.push_back({"IHDR CRC wrong", b});
  }
  {
    Bytes b = good;
    const ChunkAt ihdr = findChunk(b, "IHDR");
    putBe32(&b[ihdr.start + 8], 0);  // width 0
    fixCrc(b, ihdr);
    cases.push_back({"IHDR width 0", b});
  }
  const ChunkAt idat = findChunk(good, "IDAT");
  if (idat.start == 0) {
    ADD_FAILURE() << "the logo has no IDAT chunk";
  } else {
    {
      Bytes b = good;
      b[idat.start + 8 + idat.length] ^= 0x5A;
      cases.push_back({"IDAT CRC wrong", b});
    }
    {
      Bytes b = good;
      b[idat.start + 8] ^= 0xFF;  // zlib header
      fixCrc(b, idat);
      cases.push_back({"IDAT zlib header damaged, CRC right", b});
    }
    {
      Bytes b = good;
      b[idat.start + 8 + 2] |= 0x06;  // first deflate block: reserved block type 3
      fixCrc(b, idat);
      cases.push_back({"IDAT deflate block type invalid, CRC right", b});
    }
    // Damage while rows are still being inflated. (Damage late enough that
    // every row still inflates and only the stream's Adler-32 check breaks
    // is a warning to libpng, not an error, so it is not among these.)
    for (std::size_t offset : {std::size_t{idat.length / 3}, std::size_t{idat.length / 2}}) {
      Bytes b = good;
      for (std::size_t k = 0; k < 4; ++k) b[idat.start + 8 + offset + k] ^= 0xA5;
      fixCrc(b, idat);
      cases.push_back({"IDAT data damaged at " + std::to_string(offset) + ", CRC right", b});
    }
  }
  Bytes text(64, 'x');
  cases.push_back({"not a picture", text});

  for (const Case& c : cases) {
    const unsigned char* data = c.bytes.empty() ? good.data() : c.bytes.data();
    const Decoded d = decode(data, c.bytes.size());
    EXPECT_FALSE(d.opened && d.decoded) << c.name;

    PngImage image;
    ASSERT_TRUE(openPng(good.data(), good.size(), image));
    if (!openPng(data, c.bytes.size(), image)) {
      EXPECT_EQ(0, image.width()) << c.name << ": width of the picture opened before left behind";
      EXPECT_EQ(0, image.height()) << c.name << ": height of the picture opened before left behind";
    }
  }
}

// Guards against a size beyond the bound reaching the caller's allocation:
// the header alone decides, before any pixel memory exists.
TEST(DecodePng, SidesBeyondTheBoundAreRefusedAtTheHeader) {
  struct Case {
    std::uint32_t width, height;
    bool opens;
  };
  const Case cases[] = {{4096, 100, true}, {100, 4096, true}, {4096, 4096, true}, {4097, 100, false},
                        {100, 4097, false}, {0x7FFFFFFF, 1, false}};
  for (const Case& c : cases) {
    Bytes b = logo();
    const ChunkAt ihdr = findChunk(b, "IHDR");
    putBe32(&b[ihdr.start + 8], c.width);
    putBe32(&b[ihdr.start + 12], c.height);
    fixCrc(b, ihdr);
    PngImage image;
    EXPECT_EQ(c.opens, openPng(b.data(), b.size(), image)) << c.width << " x " << c.height;
    if (c.opens) {
      EXPECT_EQ(static_cast<int>(c.width), image.width());
      EXPECT_EQ(static_cast<int>(c.height), image.height());
    }
  }
}

// Guards against a null pointer being dereferenced.
TEST(DecodePng, NoBytesDecodeToNothing) {
  for (std::size_t size : {std::size_t{0}, std::size_t{100}}) {
    PngImage image;
    EXPECT_FALSE(openPng(nullptr, size, image)) << "nullptr with size " << size;
    EXPECT_TRUE(image.width() == 0 && image.height() == 0) << "nullptr with size " << size;
  }
}

std::string hex6(std::uint32_t v) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08x", v);
  return buffer;
}

// A composited pixel's bytes (blue, green, red, 0) as 0x00RRGGBB.
std::uint32_t word(const std::uint8_t* p) {
  return std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}

// Guards against truncating instead of rounding, mixing the wrong way round
// (alpha weighting the background), packing the channels in another order,
// leaving alpha in the DIB's unused byte, or reading the pixels out of order.
TEST(CompositeOver, BlendsEachPixelOverTheBackgroundRounded) {
  struct Case {
    std::uint8_t r, g, b, a;
    Rgb background;
    std::uint32_t expected;  // 0x00RRGGBB, worked out by hand below
  };
  const Case cases[] = {
      // alpha 0: the background alone.
      {200, 100, 50, 0, {12, 34, 56}, 0x000C2238},
      // alpha 255: the pixel alone.
      {200, 100, 50, 255, {12, 34, 56}, 0x00C86432},
      // alpha 128: r 255*128/255 = 128; g 255*127/255 = 127;
      // b (200*128 + 100*127)/255 = 150.2 -> 150.
      {255, 0, 200, 128, {0, 255, 100}, 0x00807F96},
      // alpha 64: r (10*64 + 250*191)/255 = 189.8 -> 190 (not 189);
      // g (250*64 + 10*191)/255 = 70.2 -> 70; b 255*191/255 = 191.
      {10, 250, 0, 64, {250, 10, 255}, 0x00BE46BF},
      // alpha 200: r (1*200 + 254*55)/255 = 55.6 -> 56; g (2*200 + 253*55)/255
      // = 56.1 -> 56; b (3*200 + 252*55)/255 = 56.7 -> 57.
      {1, 2, 3, 200, {254, 253, 252}, 0x00383839},
  };
  for (const Case& c : cases) {
    std::uint8_t pixel[4] = {c.b, c.g, c.r, c.a};
    compositeOver(pixel, 1, c.background);
    EXPECT_EQ(c.expected, word(pixel)) << "pixel (" << +c.r << "," << +c.g << "," << +c.b << "," << +c.a
                                       << ") over (" << +c.background.r << "," << +c.background.g << ","
                                       << +c.background.b << "): expected " << hex6(c.expected) << " got "
                                       << hex6(word(pixel));
  }

  // All cases in one run of pixels: each comes out where it went in.
  const Rgb background{9, 99, 199};
  std::vector<std::uint8_t> run;
  for (const Case& c : cases) run.insert(run.end(), {c.b, c.g, c.r, c.a});
  compositeOver(run.data(), std::size(cases), background);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    std::uint8_t one[4] = {cases[i].b, cases[i].g, cases[i].r, cases[i].a};
    compositeOver(one, 1, background);
    EXPECT_EQ(word(one), word(&run[i * 4])) << "pixel " << i;
  }
}

// Guards against a box getting pixels from a picture that did not open, and
// against compositing past the pixels it was given.
TEST(CompositeOver, NothingToLayOverGivesNothing) {
  const unsigned char junk[] = {0x89, 'P', 'N', 'G', 0, 0, 0, 0, 0, 0};
  PngImage failed;
  ASSERT_FALSE(openPng(junk, sizeof junk, failed));
  std::vector<std::uint8_t> untouched(16, 0xAB);
  EXPECT_FALSE(decodePng(failed, untouched.data()));
  compositeOver(untouched.data(), 0, Rgb{1, 2, 3});
  compositeOver(untouched.data() + 4, 1, Rgb{1, 2, 3});
  EXPECT_EQ(std::vector<std::uint8_t>(4, 0xAB), std::vector<std::uint8_t>(untouched.begin(), untouched.begin() + 4));
  EXPECT_EQ(std::vector<std::uint8_t>(8, 0xAB), std::vector<std::uint8_t>(untouched.begin() + 8, untouched.end()));
}

}  // namespace
