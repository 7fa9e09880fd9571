// Host tests for the generated pictures: the embedded logo (assets/logo.png,
// which the build embeds) and the icon that assets/make_assets.cpp writes.

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "info/logo.h"

// A UTF-8 literal (u8"..."), as the file system names the folder: a plain
// one would be turned into GBK with every other literal of the build.
#ifndef KESTRANA_SOURCE_DIR
#define KESTRANA_SOURCE_DIR u8"."
#endif

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string SourcePath(const char* rel) {
  return std::string(reinterpret_cast<const char*>(KESTRANA_SOURCE_DIR)) + "/" + rel;
}

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

Bytes Logo() { return Bytes(kestrana::kLogoPng, kestrana::kLogoPng + kestrana::kLogoPngSize); }

struct Chunk {
  std::string type;
  size_t data;  // offset of the chunk data in the file
  uint32_t length;
  bool crc_ok;
};

// Splits a PNG stream into its chunks. Stops at IEND or at the first chunk
// that would run past the end; `complete` says whether it ended cleanly at
// IEND exactly at the end of the buffer.
std::vector<Chunk> Chunks(const Bytes& png, bool* complete) {
  std::vector<Chunk> out;
  *complete = false;
  size_t pos = 8;
  while (pos + 12 <= png.size()) {
    uint32_t len = Be32(&png[pos]);
    if (len > png.size() - pos - 12) break;
    Chunk c;
    c.type.assign(reinterpret_cast<const char*>(&png[pos + 4]), 4);
    c.data = pos + 8;
    c.length = len;
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, &png[pos + 4], len + 4);
    c.crc_ok = crc == Be32(&png[pos + 8 + len]);
    out.push_back(c);
    pos += 12 + len;
    if (c.type == "IEND") {
      *complete = pos == png.size();
      break;
    }
  }
  return out;
}

const Chunk* Find(const std::vector<Chunk>& chunks, const char* type) {
  for (const Chunk& c : chunks)
    if (c.type == type) return &c;
  return nullptr;
}

size_t IndexOf(const std::vector<Chunk>& chunks, const char* type) {
  for (size_t i = 0; i < chunks.size(); ++i)
    if (chunks[i].type == type) return i;
  return chunks.size();
}

TEST(Logo, StartsWithPngSignature) {
  ASSERT_GE(kestrana::kLogoPngSize, 8u);
  const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  EXPECT_EQ(0, std::memcmp(kestrana::kLogoPng, sig, 8));
}

TEST(Logo, HeaderIs100x100Rgba8NonInterlaced) {
  const Bytes png = Logo();
  bool complete;
  const std::vector<Chunk> chunks = Chunks(png, &complete);
  ASSERT_FALSE(chunks.empty());
  ASSERT_EQ("IHDR", chunks[0].type);
  ASSERT_EQ(13u, chunks[0].length);
  const uint8_t* h = &png[chunks[0].data];
  EXPECT_EQ(100u, Be32(h));
  EXPECT_EQ(100u, Be32(h + 4));
  EXPECT_EQ(8, h[8]);   // bit depth
  EXPECT_EQ(6, h[9]);   // colour type RGBA
  EXPECT_EQ(0, h[10]);  // compression
  EXPECT_EQ(0, h[11]);  // filter method
  EXPECT_EQ(0, h[12]);  // interlace
}

TEST(Logo, EveryChunkCrcIsRightAndStreamEndsAtIend) {
  const Bytes png = Logo();
  bool complete;
  const std::vector<Chunk> chunks = Chunks(png, &complete);
  EXPECT_TRUE(complete) << "chunk walk did not end with IEND at the last byte";
  ASSERT_GE(chunks.size(), 3u);
  for (const Chunk& c : chunks) EXPECT_TRUE(c.crc_ok) << "bad CRC on " << c.type;
  EXPECT_EQ("IEND", chunks.back().type);
  EXPECT_EQ(0u, chunks.back().length);
}

TEST(Logo, CarriesPhysIccpAndChrmBeforeImageData) {
  const Bytes png = Logo();
  bool complete;
  const std::vector<Chunk> chunks = Chunks(png, &complete);
  const size_t idat = IndexOf(chunks, "IDAT");
  ASSERT_LT(idat, chunks.size()) << "no IDAT";
  for (const char* t : {"pHYs", "iCCP", "cHRM"}) {
    const size_t i = IndexOf(chunks, t);
    ASSERT_LT(i, chunks.size()) << "missing " << t;
    EXPECT_LT(i, idat) << t << " comes after IDAT";
  }
  EXPECT_EQ(nullptr, Find(chunks, "tIME")) << "a time stamp makes the output differ per run";

  const Chunk* phys = Find(chunks, "pHYs");
  ASSERT_EQ(9u, phys->length);
  EXPECT_EQ(3780u, Be32(&png[phys->data]));
  EXPECT_EQ(3780u, Be32(&png[phys->data + 4]));
  EXPECT_EQ(1, png[phys->data + 8]);  // unit: metre

  const Chunk* chrm = Find(chunks, "cHRM");
  ASSERT_EQ(32u, chrm->length);
  const uint32_t srgb[8] = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(srgb[i], Be32(&png[chrm->data + 4 * i])) << "cHRM value " << i;
}

// Collects libpng warnings instead of printing them.
struct ReadState {
  const Bytes* png;
  size_t pos = 8;
  std::vector<std::string> warnings;
};

void ReadFromVector(png_structp p, png_bytep out, png_size_t len) {
  auto* s = static_cast<ReadState*>(png_get_io_ptr(p));
  if (len > s->png->size() - s->pos) png_error(p, "read past end");
  std::memcpy(out, s->png->data() + s->pos, len);
  s->pos += len;
}
void RecordWarning(png_structp p, png_const_charp msg) {
  static_cast<ReadState*>(png_get_error_ptr(p))->warnings.push_back(msg);
}

TEST(Logo, EmbeddedIccProfileIsAWellFormedRgbDisplayProfile) {
  const Bytes png = Logo();
  ReadState st;
  st.png = &png;
  png_structp p = png_create_read_struct(PNG_LIBPNG_VER_STRING, &st, nullptr, RecordWarning);
  ASSERT_NE(nullptr, p);
  png_infop info = png_create_info_struct(p);
  ASSERT_NE(nullptr, info);
  Bytes profile;
  if (setjmp(png_jmpbuf(p))) {
    png_destroy_read_struct(&p, &info, nullptr);
    FAIL() << "libpng error while reading the header chunks";
  }
  png_set_read_fn(p, &st, ReadFromVector);
  png_set_sig_bytes(p, 8);
  png_read_info(p, info);
  png_charp name = nullptr;
  int compression = -1;
  png_bytep data = nullptr;
  png_uint_32 len = 0;
  // libpng accepts the profile only if its header and tag table check out.
  const bool have = png_get_iCCP(p, info, &name, &compression, &data, &len) != 0;
  if (have) profile.assign(data, data + len);
  png_destroy_read_struct(&p, &info, nullptr);

  EXPECT_TRUE(st.warnings.empty()) << "first warning: " << st.warnings.front();
  ASSERT_TRUE(have) << "libpng rejected or did not find the iCCP profile";
  ASSERT_GE(profile.size(), 132u);
  EXPECT_EQ(profile.size(), Be32(&profile[0])) << "size field disagrees with the profile length";
  EXPECT_EQ(0u, profile.size() % 4);
  EXPECT_EQ(2, profile[8]) << "major version";
  EXPECT_EQ(0, std::memcmp(&profile[12], "mntr", 4));
  EXPECT_EQ(0, std::memcmp(&profile[16], "RGB ", 4));
  EXPECT_EQ(0, std::memcmp(&profile[20], "XYZ ", 4));
  EXPECT_EQ(0, std::memcmp(&profile[36], "acsp", 4));
  EXPECT_EQ(0x0000F6D6u, Be32(&profile[68]));
  EXPECT_EQ(0x00010000u, Be32(&profile[72]));
  EXPECT_EQ(0x0000D32Du, Be32(&profile[76]));

  const uint32_t count = Be32(&profile[128]);
  ASSERT_LE(132u + 12u * count, profile.size());
  std::vector<std::string> seen;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = &profile[132 + 12 * i];
    const uint32_t off = Be32(e + 4), size = Be32(e + 8);
    const std::string sig(reinterpret_cast<const char*>(e), 4);
    EXPECT_EQ(0u, off % 4) << sig;
    ASSERT_LE(off, profile.size()) << sig;
    ASSERT_LE(size, profile.size() - off) << sig;
    ASSERT_GE(size, 12u) << sig;
    const std::string type(reinterpret_cast<const char*>(&profile[off]), 4);
    if (sig == "desc") {
      EXPECT_EQ("desc", type);
    }
    if (sig == "cprt") {
      EXPECT_EQ("text", type);
    }
    if (sig == "wtpt" || sig[1] == 'X') {
      EXPECT_EQ("XYZ ", type) << sig;
    }
    if (sig.substr(1) == "TRC") {
      EXPECT_EQ("curv", type) << sig;
    }
    seen.push_back(sig);
  }
  for (const char* need : {"desc", "wtpt", "rXYZ", "gXYZ", "bXYZ", "rTRC", "gTRC", "bTRC", "cprt"}) {
    EXPECT_NE(seen.end(), std::find(seen.begin(), seen.end(), need)) << "missing tag " << need;
  }
}

TEST(Logo, DecodesToRgbaWithTransparentSurroundAndOpaqueBody) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, kestrana::kLogoPng, kestrana::kLogoPngSize))
      << image.message;
  EXPECT_EQ(100u, image.width);
  EXPECT_EQ(100u, image.height);
  EXPECT_NE(0u, image.format & PNG_FORMAT_FLAG_ALPHA);
  EXPECT_NE(0u, image.format & PNG_FORMAT_FLAG_COLOR);
  image.format = PNG_FORMAT_RGBA;
  Bytes px(PNG_IMAGE_SIZE(image));
  ASSERT_EQ(100u * 100u * 4u, px.size());
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, px.data(), 0, nullptr)) << image.message;
  EXPECT_EQ(0u, image.warning_or_error) << image.message;

  size_t transparent = 0, opaque = 0, partial = 0;
  for (size_t i = 3; i < px.size(); i += 4) {
    if (px[i] == 0)
      ++transparent;
    else if (px[i] == 255)
      ++opaque;
    else
      ++partial;
  }
  EXPECT_GT(transparent, 0u);
  EXPECT_GT(opaque, 0u);
  EXPECT_GT(partial, 0u) << "edges are not anti-aliased";
  auto alpha = [&](int x, int y) { return px[(static_cast<size_t>(y) * 100 + x) * 4 + 3]; };
  // The corners are clear and the middle is solid.
  EXPECT_EQ(0, alpha(0, 0));
  EXPECT_EQ(0, alpha(99, 0));
  EXPECT_EQ(0, alpha(0, 99));
  EXPECT_EQ(0, alpha(99, 99));
  EXPECT_EQ(255, alpha(50, 50));
}

TEST(Icon, HeaderDescribesOne48x48ThirtyTwoBitDib) {
  const Bytes ico = ReadFile(SourcePath("assets/kestrana.ico"));
  ASSERT_GE(ico.size(), 6u + 16u + 40u) << "cannot read " << SourcePath("assets/kestrana.ico");
  EXPECT_EQ(0, Le16(&ico[0]));  // reserved
  EXPECT_EQ(1, Le16(&ico[2]));  // type: icon
  ASSERT_EQ(1, Le16(&ico[4]));  // image count

  const uint8_t* e = &ico[6];
  EXPECT_EQ(48, e[0]);
  EXPECT_EQ(48, e[1]);
  EXPECT_EQ(1, Le16(e + 4));   // planes
  EXPECT_EQ(32, Le16(e + 6));  // bit count
  const uint32_t bytes = Le32(e + 8), offset = Le32(e + 12);
  ASSERT_LE(offset, ico.size());
  ASSERT_EQ(ico.size(), size_t{offset} + bytes) << "entry does not cover the rest of the file";
  ASSERT_GE(bytes, 40u);

  const uint8_t* d = &ico[offset];
  EXPECT_EQ(40u, Le32(d));             // BITMAPINFOHEADER
  EXPECT_EQ(48u, Le32(d + 4));         // width
  EXPECT_EQ(96u, Le32(d + 8));         // height: colour rows plus mask rows
  EXPECT_EQ(1, Le16(d + 12));          // planes
  EXPECT_EQ(32, Le16(d + 14));         // bits per pixel
  EXPECT_EQ(0u, Le32(d + 16));         // BI_RGB
  const size_t colour = 48 * 48 * 4, mask = 48 * 8;  // mask rows: 6 bytes padded to 8
  ASSERT_EQ(40u + colour + mask, bytes);
}

TEST(Icon, AndMaskMatchesAlphaAndImageHasTransparentEdges) {
  const Bytes ico = ReadFile(SourcePath("assets/kestrana.ico"));
  const size_t colour = 48 * 48 * 4, mask = 48 * 8;
  ASSERT_EQ(6u + 16u + 40u + colour + mask, ico.size());
  const uint8_t* bgra = &ico[6 + 16 + 40];
  const uint8_t* bits = bgra + colour;
  size_t transparent = 0, opaque = 0;
  for (int row = 0; row < 48; ++row) {  // both stored bottom-up
    for (int x = 0; x < 48; ++x) {
      const uint8_t a = bgra[(row * 48 + x) * 4 + 3];
      const bool masked = (bits[row * 8 + x / 8] >> (7 - x % 8)) & 1;
      EXPECT_EQ(a == 0, masked) << "AND mask disagrees with alpha " << int{a} << " at row " << row << " x " << x;
      transparent += a == 0;
      opaque += a == 255;
    }
    for (int pad = 6; pad < 8; ++pad) EXPECT_EQ(0, bits[row * 8 + pad]) << "row " << row;
  }
  EXPECT_GT(transparent, 0u);
  EXPECT_GT(opaque, 0u);
  EXPECT_EQ(0, bgra[3]) << "bottom-left corner should be clear";
  EXPECT_EQ(255, bgra[(24 * 48 + 24) * 4 + 3]) << "centre should be solid";
}

}  // namespace
