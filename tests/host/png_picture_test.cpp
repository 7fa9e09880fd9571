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
using kestrana::Picture;
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

// A picture that must be replaced by the empty one on failure.
Picture stale() { return Picture{3, 1, std::vector<std::uint8_t>(12, 0xAB)}; }

// Guards against the logo not decoding, or decoding at the wrong size.
TEST(DecodePng, TheLogoDecodesTo100By100Rgba) {
  Picture picture;
  ASSERT_TRUE(decodePng(kestrana::kLogoPng, kestrana::kLogoPngSize, picture));
  EXPECT_EQ(100, picture.width);
  EXPECT_EQ(100, picture.height);
  ASSERT_EQ(100u * 100u * 4u, picture.rgba.size());
  // Clear corners, solid middle: the channels are in RGBA order, not ARGB.
  EXPECT_EQ(0, picture.rgba[3]) << "alpha of the top-left pixel";
  EXPECT_EQ(255, picture.rgba[(50 * 100 + 50) * 4 + 3]) << "alpha of the middle pixel";
}

// Guards against channels swapped or rows turned upside down on the way out
// of the decoder, and against alpha not being made opaque for RGB files.
TEST(DecodePng, SmallPicturesDecodeToTheirExactPixels) {
  struct Case {
    const char* name;
    int width, height;
    png_uint_32 format;
    std::vector<std::uint8_t> written;
    std::vector<std::uint8_t> expectedRgba;
  };
  const Case cases[] = {
      {"2x1 RGBA", 2, 1, PNG_FORMAT_RGBA, {10, 20, 30, 40, 250, 128, 0, 255}, {10, 20, 30, 40, 250, 128, 0, 255}},
      {"1x2 RGB", 1, 2, PNG_FORMAT_RGB, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 255, 4, 5, 6, 255}},
      {"2x1 grey with alpha", 2, 1, PNG_FORMAT_GA, {7, 0, 200, 100}, {7, 7, 7, 0, 200, 200, 200, 100}},
  };
  for (const Case& c : cases) {
    const Bytes png = makePng(c.width, c.height, c.format, c.written);
    ASSERT_FALSE(png.empty()) << c.name << ": libpng could not write the test picture";
    Picture picture = stale();
    ASSERT_TRUE(decodePng(png.data(), png.size(), picture)) << c.name;
    EXPECT_EQ(c.width, picture.width) << c.name;
    EXPECT_EQ(c.height, picture.height) << c.name;
    EXPECT_EQ(c.expectedRgba, picture.rgba) << c.name;
  }
}

// Guards against damaged or foreign bytes leaving a half-decoded or stale
// picture behind, or being read past their end (the sanitizers watch that).
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
    Picture picture = stale();
    const unsigned char* data = c.bytes.empty() ? good.data() : c.bytes.data();
    EXPECT_FALSE(decodePng(data, c.bytes.size(), picture)) << c.name;
    EXPECT_EQ(0, picture.width) << c.name << ": expected width 0 got " << picture.width;
    EXPECT_EQ(0, picture.height) << c.name << ": expected height 0 got " << picture.height;
    EXPECT_TRUE(picture.rgba.empty()) << c.name << ": " << picture.rgba.size() << " bytes of pixels left";
  }
}

// Guards against a null pointer being dereferenced.
TEST(DecodePng, NoBytesDecodeToNothing) {
  for (std::size_t size : {std::size_t{0}, std::size_t{100}}) {
    Picture picture = stale();
    EXPECT_FALSE(decodePng(nullptr, size, picture)) << "nullptr with size " << size;
    EXPECT_TRUE(picture.rgba.empty() && picture.width == 0 && picture.height == 0) << "nullptr with size " << size;
  }
}

std::string hex6(std::uint32_t v) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08x", v);
  return buffer;
}

// Guards against truncating instead of rounding, mixing the wrong way round
// (alpha weighting the background), packing the channels in another order,
// or reading the pixels out of order.
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
    const Picture one{1, 1, {c.r, c.g, c.b, c.a}};
    const std::vector<std::uint32_t> out = compositeOver(one, c.background);
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ(c.expected, out[0]) << "pixel (" << +c.r << "," << +c.g << "," << +c.b << "," << +c.a
                                  << ") over (" << +c.background.r << "," << +c.background.g << ","
                                  << +c.background.b << "): expected " << hex6(c.expected) << " got "
                                  << hex6(out[0]);
  }

  // All cases in one 5x1 and one 1x5 picture: the output keeps the order.
  const std::size_t n = std::size(cases);
  for (bool column : {false, true}) {
    Picture picture{column ? 1 : static_cast<int>(n), column ? static_cast<int>(n) : 1, {}};
    for (const Case& c : cases) picture.rgba.insert(picture.rgba.end(), {c.r, c.g, c.b, c.a});
    const Rgb background{9, 99, 199};
    const std::vector<std::uint32_t> out = compositeOver(picture, background);
    ASSERT_EQ(n, out.size());
    for (std::size_t i = 0; i < n; ++i) {
      const Picture one{1, 1, {cases[i].r, cases[i].g, cases[i].b, cases[i].a}};
      EXPECT_EQ(compositeOver(one, background)[0], out[i]) << (column ? "column" : "row") << " pixel " << i;
    }
  }
}

// Guards against an empty box getting pixels from a picture that did not
// decode, and against reading past a pixel buffer that is too short.
TEST(CompositeOver, NothingToLayOverGivesNothing) {
  const unsigned char junk[] = {0x89, 'P', 'N', 'G', 0, 0, 0, 0, 0, 0};
  Picture failed = stale();
  ASSERT_FALSE(decodePng(junk, sizeof junk, failed));
  EXPECT_TRUE(compositeOver(failed, Rgb{1, 2, 3}).empty());

  const Picture shortBuffer{2, 2, std::vector<std::uint8_t>(8, 0xFF)};
  EXPECT_TRUE(compositeOver(shortBuffer, Rgb{1, 2, 3}).empty())
      << "a 2x2 picture with only 2 pixels of data was composited";
}

}  // namespace
