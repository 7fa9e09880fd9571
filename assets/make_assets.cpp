// make_assets: draws Kestrana's logo and writes the three generated assets.
//
//   make_assets OUTDIR
//
// writes OUTDIR/logo.png (100x100 RGBA with pHYs, iCCP and cHRM) and
// OUTDIR/kestrana.ico (one 48x48 32-bit image). The build turns logo.png
// into the array the program carries (cmake/embed_file.cmake). Everything is computed from fixed numbers: no
// clock, no randomness, fixed zlib settings and a fixed PNG filter, so every
// run produces byte-identical files.
//
// The design: a blue disc with a soft shadow, carrying a white trident glyph
// (a stem with an arrow head and a round foot, a left arm ending in a dot and
// a right arm ending in a square). It is described with signed distance
// functions in a unit square, so it renders cleanly at any size.

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "make_assets: %s\n", what.c_str());
  std::exit(1);
}

// ---------------------------------------------------------------------------
// Geometry: signed distances in design units (the picture is the unit square,
// y grows downwards). Negative means inside.

struct Vec {
  double x, y;
};

Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator*(Vec a, double s) { return {a.x * s, a.y * s}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
double Length(Vec a) { return std::sqrt(Dot(a, a)); }

double Clamp(double v, double lo, double hi) { return std::min(hi, std::max(lo, v)); }

double Smoothstep(double e0, double e1, double x) {
  double t = Clamp((x - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3.0 - 2.0 * t);
}

double SdCircle(Vec p, Vec c, double r) { return Length(p - c) - r; }

// A stroke of half-width r along the segment a-b, with round ends.
double SdCapsule(Vec p, Vec a, Vec b, double r) {
  Vec pa = p - a, ba = b - a;
  double h = Clamp(Dot(pa, ba) / Dot(ba, ba), 0.0, 1.0);
  return Length(pa - ba * h) - r;
}

// An axis-aligned square of half-size h with corners rounded by radius k.
double SdRoundSquare(Vec p, Vec c, double h, double k) {
  double qx = std::fabs(p.x - c.x) - (h - k);
  double qy = std::fabs(p.y - c.y) - (h - k);
  double outside = Length({std::max(qx, 0.0), std::max(qy, 0.0)});
  double inside = std::min(std::max(qx, qy), 0.0);
  return outside + inside - k;
}

// A convex or concave polygon (even-odd rule).
double SdPolygon(Vec p, const std::vector<Vec>& v) {
  double d = Dot(p - v[0], p - v[0]);
  double s = 1.0;
  for (size_t i = 0, j = v.size() - 1; i < v.size(); j = i, ++i) {
    Vec e = v[j] - v[i];
    Vec w = p - v[i];
    Vec b = w - e * Clamp(Dot(w, e) / Dot(e, e), 0.0, 1.0);
    d = std::min(d, Dot(b, b));
    bool c1 = p.y >= v[i].y, c2 = p.y < v[j].y, c3 = e.x * w.y > e.y * w.x;
    if ((c1 && c2 && c3) || (!c1 && !c2 && !c3)) s = -s;
  }
  return s * std::sqrt(d);
}

// The disc the glyph sits on.
const Vec kDiscCentre = {0.5, 0.485};
const double kDiscRadius = 0.445;

double SdDisc(Vec p) { return SdCircle(p, kDiscCentre, kDiscRadius); }

// The trident glyph. It is laid out in its own frame centred on the disc and
// scaled by kGlyphScale, which keeps a comfortable margin to the rim.
const double kGlyphScale = 0.86;

double SdGlyph(Vec p) {
  // Into the glyph's frame: origin at the disc centre.
  Vec q = (p - kDiscCentre) * (1.0 / kGlyphScale);
  const double stroke = 0.036;  // half-width of every line

  // Stem, from the foot up to just under the arrow head.
  double d = SdCapsule(q, {0.0, 0.27}, {0.0, -0.20}, stroke);
  // Arrow head.
  d = std::min(d, SdPolygon(q, {{0.0, -0.385}, {0.105, -0.205}, {-0.105, -0.205}}) - 0.008);
  // Round foot.
  d = std::min(d, SdCircle(q, {0.0, 0.285}, 0.085));
  // Left arm: out and up from the stem, ending in a dot.
  d = std::min(d, SdCapsule(q, {0.0, 0.170}, {-0.200, 0.045}, stroke));
  d = std::min(d, SdCapsule(q, {-0.200, 0.045}, {-0.200, -0.030}, stroke));
  d = std::min(d, SdCircle(q, {-0.200, -0.065}, 0.066));
  // Right arm: out and up from higher on the stem, ending in a square.
  d = std::min(d, SdCapsule(q, {0.0, 0.085}, {0.200, -0.040}, stroke));
  d = std::min(d, SdCapsule(q, {0.200, -0.040}, {0.200, -0.090}, stroke));
  d = std::min(d, SdRoundSquare(q, {0.200, -0.120}, 0.056, 0.012));
  return d * kGlyphScale;
}

// ---------------------------------------------------------------------------
// Rendering: premultiplied RGBA in [0,1], composited layer by layer.

struct Rgba {
  double r = 0, g = 0, b = 0, a = 0;  // premultiplied
};

void Over(Rgba& dst, double r, double g, double b, double a) {
  dst.r = r * a + dst.r * (1.0 - a);
  dst.g = g * a + dst.g * (1.0 - a);
  dst.b = b * a + dst.b * (1.0 - a);
  dst.a = a + dst.a * (1.0 - a);
}

// Linear interpolation between two colours given as 0xRRGGBB.
void Mix(uint32_t c0, uint32_t c1, double t, double& r, double& g, double& b) {
  auto ch = [&](int shift) {
    double a = ((c0 >> shift) & 0xff) / 255.0, z = ((c1 >> shift) & 0xff) / 255.0;
    return a + (z - a) * t;
  };
  r = ch(16);
  g = ch(8);
  b = ch(0);
}

// Coverage of a shape for a sample, given its signed distance in design units
// and the width of a sample in design units: a one-sample-wide linear ramp.
double Coverage(double d, double sample) { return Clamp(0.5 - d / sample, 0.0, 1.0); }

// Shades one sample point of the design.
Rgba ShadeSample(Vec p, double sample) {
  Rgba c;

  // Soft shadow under the disc, offset downwards; it fades out well before
  // the corners so they stay fully transparent.
  {
    double d = SdCircle(p, kDiscCentre + Vec{0.0, 0.018}, kDiscRadius);
    double a = 0.38 * (1.0 - Smoothstep(-0.03, 0.045, d));
    if (a > 0) Over(c, 0.02, 0.06, 0.16, a);
  }

  double ddisc = SdDisc(p);
  double cov = Coverage(ddisc, sample);
  if (cov > 0) {
    // Disc body: light blue at the top left, deep blue at the bottom right.
    Vec rel = (p - kDiscCentre) * (1.0 / kDiscRadius);
    double t = Clamp(0.5 + 0.5 * (0.45 * rel.x + 0.9 * rel.y) / 1.0062, 0.0, 1.0);
    double r, g, b;
    Mix(0x4DA3F5, 0x1646A8, t, r, g, b);
    Over(c, r, g, b, cov);

    // A thin darker band just inside the rim gives the disc a crisp edge.
    double band = Smoothstep(-0.05, -0.005, ddisc);
    if (band > 0) Over(c, 0.05, 0.17, 0.45, 0.45 * band * cov);

    // A faint highlight over the upper half.
    double dh = SdCircle(p, kDiscCentre + Vec{0.0, -0.33}, 0.50);
    double hl = Coverage(dh, 0.09) * Smoothstep(0.0, -0.10, ddisc);
    if (hl > 0) Over(c, 1.0, 1.0, 1.0, 0.10 * hl * cov);

    // The glyph casts a small shadow onto the disc, then is drawn in white.
    double ds = SdGlyph(p - Vec{0.0, 0.014});
    double sh = 0.30 * Clamp(0.5 - ds / std::max(sample, 0.02), 0.0, 1.0);
    if (sh > 0) Over(c, 0.02, 0.10, 0.30, sh * cov);
    double gcov = Coverage(SdGlyph(p), sample);
    if (gcov > 0) Over(c, 1.0, 1.0, 1.0, gcov);
  }
  return c;
}

// Renders the design into size x size straight-alpha RGBA8, row-major from
// the top. Each pixel averages 4x4 samples, each with its own small ramp.
std::vector<uint8_t> Render(int size) {
  const int kSub = 4;
  const double sample = 1.0 / (size * kSub);
  std::vector<uint8_t> out(static_cast<size_t>(size) * size * 4);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      Rgba sum;
      for (int sy = 0; sy < kSub; ++sy) {
        for (int sx = 0; sx < kSub; ++sx) {
          Vec p = {(x * kSub + sx + 0.5) * sample, (y * kSub + sy + 0.5) * sample};
          Rgba s = ShadeSample(p, sample);
          sum.r += s.r;
          sum.g += s.g;
          sum.b += s.b;
          sum.a += s.a;
        }
      }
      const double n = kSub * kSub;
      double a = sum.a / n;
      uint8_t* px = &out[(static_cast<size_t>(y) * size + x) * 4];
      int a8 = static_cast<int>(std::lround(Clamp(a, 0.0, 1.0) * 255.0));
      if (a8 == 0) {
        px[0] = px[1] = px[2] = px[3] = 0;
        continue;
      }
      auto un = [&](double v) {
        return static_cast<uint8_t>(std::lround(Clamp(v / n / a, 0.0, 1.0) * 255.0));
      };
      px[0] = un(sum.r);
      px[1] = un(sum.g);
      px[2] = un(sum.b);
      px[3] = static_cast<uint8_t>(a8);
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// A small RGB display profile: ICC version 2.1, sRGB primaries adapted to the
// D50 connection space, and a pure 2.2 gamma curve on each channel.

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = static_cast<uint8_t>(x >> 24);
  v[at + 1] = static_cast<uint8_t>(x >> 16);
  v[at + 2] = static_cast<uint8_t>(x >> 8);
  v[at + 3] = static_cast<uint8_t>(x);
}
void Put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
  v[at] = static_cast<uint8_t>(x >> 8);
  v[at + 1] = static_cast<uint8_t>(x);
}
void PutSig(std::vector<uint8_t>& v, size_t at, const char* sig) { std::memcpy(&v[at], sig, 4); }
uint32_t S15Fixed16(double x) { return static_cast<uint32_t>(static_cast<int32_t>(std::lround(x * 65536.0))); }

std::vector<uint8_t> XyzTag(double x, double y, double z) {
  std::vector<uint8_t> t(20, 0);
  PutSig(t, 0, "XYZ ");
  Put32(t, 8, S15Fixed16(x));
  Put32(t, 12, S15Fixed16(y));
  Put32(t, 16, S15Fixed16(z));
  return t;
}

std::vector<uint8_t> DescTag(const std::string& text) {
  // textDescriptionType: ASCII part, empty Unicode part, empty ScriptCode part.
  const uint32_t n = static_cast<uint32_t>(text.size() + 1);
  std::vector<uint8_t> t(12 + n + 4 + 4 + 2 + 1 + 67, 0);
  PutSig(t, 0, "desc");
  Put32(t, 8, n);
  std::memcpy(&t[12], text.c_str(), n);
  return t;
}

std::vector<uint8_t> TextTag(const std::string& text) {
  std::vector<uint8_t> t(8 + text.size() + 1, 0);
  PutSig(t, 0, "text");
  std::memcpy(&t[8], text.c_str(), text.size() + 1);
  return t;
}

std::vector<uint8_t> GammaCurveTag(double gamma) {
  std::vector<uint8_t> t(14, 0);
  PutSig(t, 0, "curv");
  Put32(t, 8, 1);  // one entry: a u8Fixed8 gamma value
  Put16(t, 12, static_cast<uint16_t>(std::lround(gamma * 256.0)));
  return t;
}

std::vector<uint8_t> BuildIccProfile() {
  struct Tag {
    const char* sig;
    int data;  // index into `blobs`; tags may share data
  };
  std::vector<std::vector<uint8_t>> blobs = {
      DescTag("Kestrana RGB (sRGB primaries, gamma 2.2)"),
      XyzTag(0.9642, 1.0, 0.8249),             // media white: D50
      XyzTag(0.4361, 0.2225, 0.0139),          // red colorant
      XyzTag(0.3851, 0.7169, 0.0971),          // green colorant
      XyzTag(0.1431, 0.0606, 0.7141),          // blue colorant
      GammaCurveTag(2.2),                      // shared by the three TRCs
      TextTag("No copyright, use freely"),
  };
  const std::vector<Tag> tags = {
      {"desc", 0}, {"wtpt", 1}, {"rXYZ", 2}, {"gXYZ", 3}, {"bXYZ", 4},
      {"rTRC", 5}, {"gTRC", 5}, {"bTRC", 5}, {"cprt", 6},
  };

  const size_t header = 128;
  const size_t table = 4 + 12 * tags.size();
  std::vector<size_t> offset(blobs.size());
  size_t end = header + table;
  for (size_t i = 0; i < blobs.size(); ++i) {
    end = (end + 3) & ~size_t{3};  // every tag starts on a 4-byte boundary
    offset[i] = end;
    end += blobs[i].size();
  }
  end = (end + 3) & ~size_t{3};

  std::vector<uint8_t> p(end, 0);
  Put32(p, 0, static_cast<uint32_t>(end));  // profile size
  Put32(p, 8, 0x02100000);                  // version 2.1.0
  PutSig(p, 12, "mntr");
  PutSig(p, 16, "RGB ");
  PutSig(p, 20, "XYZ ");
  // Creation date: a fixed 2024-01-01 00:00:00, never the current time.
  Put16(p, 24, 2024);
  Put16(p, 26, 1);
  Put16(p, 28, 1);
  PutSig(p, 36, "acsp");
  Put32(p, 64, 0);  // perceptual rendering intent
  Put32(p, 68, 0x0000F6D6);  // PCS illuminant D50, as the ICC defines it
  Put32(p, 72, 0x00010000);
  Put32(p, 76, 0x0000D32D);

  Put32(p, header, static_cast<uint32_t>(tags.size()));
  for (size_t i = 0; i < tags.size(); ++i) {
    size_t e = header + 4 + 12 * i;
    PutSig(p, e, tags[i].sig);
    Put32(p, e + 4, static_cast<uint32_t>(offset[tags[i].data]));
    Put32(p, e + 8, static_cast<uint32_t>(blobs[tags[i].data].size()));
  }
  for (size_t i = 0; i < blobs.size(); ++i)
    std::memcpy(&p[offset[i]], blobs[i].data(), blobs[i].size());
  return p;
}

// ---------------------------------------------------------------------------
// PNG writing. Any libpng warning is treated as a failure.

void PngError(png_structp, png_const_charp msg) { Fail(std::string("libpng error: ") + msg); }
void PngWarning(png_structp, png_const_charp msg) { Fail(std::string("libpng warning: ") + msg); }

void PngWriteToVector(png_structp png, png_bytep data, png_size_t len) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + len);
}
void PngFlush(png_structp) {}

std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& rgba, int size) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!png) Fail("png_create_write_struct failed");
  png_infop info = png_create_info_struct(png);
  if (!info) Fail("png_create_info_struct failed");
  png_set_write_fn(png, &out, PngWriteToVector, PngFlush);

  // Fixed compression settings so the stream never depends on defaults.
  png_set_compression_level(png, 9);
  png_set_compression_mem_level(png, 9);
  png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
  png_set_compression_window_bits(png, 15);
  png_set_text_compression_level(png, 9);
  png_set_text_compression_mem_level(png, 9);
  png_set_text_compression_strategy(png, Z_DEFAULT_STRATEGY);
  png_set_text_compression_window_bits(png, 15);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);

  png_set_IHDR(png, info, size, size, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_set_pHYs(png, info, 3780, 3780, PNG_RESOLUTION_METER);  // 96 dpi
  // sRGB chromaticities, in units of 1/100000.
  png_set_cHRM_fixed(png, info, 31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000);
  const std::vector<uint8_t> icc = BuildIccProfile();
  png_set_iCCP(png, info, "Kestrana RGB", PNG_COMPRESSION_TYPE_BASE, icc.data(),
               static_cast<png_uint_32>(icc.size()));

  std::vector<png_bytep> rows(size);
  for (int y = 0; y < size; ++y)
    rows[y] = const_cast<png_bytep>(&rgba[static_cast<size_t>(y) * size * 4]);
  png_set_rows(png, info, rows.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// ---------------------------------------------------------------------------
// ICO writing: one 32-bit image as a BITMAPINFOHEADER DIB (height doubled for
// the AND mask), BGRA rows bottom-up, then the 1-bit AND mask.

void Le16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Le32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

std::vector<uint8_t> EncodeIco(const std::vector<uint8_t>& rgba, int size) {
  const uint32_t xor_bytes = static_cast<uint32_t>(size) * size * 4;
  const uint32_t mask_stride = ((static_cast<uint32_t>(size) + 31) / 32) * 4;
  const uint32_t mask_bytes = mask_stride * size;
  const uint32_t dib_bytes = 40 + xor_bytes + mask_bytes;

  std::vector<uint8_t> v;
  // ICONDIR
  Le16(v, 0);  // reserved
  Le16(v, 1);  // type: icon
  Le16(v, 1);  // one image
  // ICONDIRENTRY
  v.push_back(static_cast<uint8_t>(size));
  v.push_back(static_cast<uint8_t>(size));
  v.push_back(0);  // no palette
  v.push_back(0);  // reserved
  Le16(v, 1);      // planes
  Le16(v, 32);     // bits per pixel
  Le32(v, dib_bytes);
  Le32(v, 6 + 16);  // image data follows the directory
  // BITMAPINFOHEADER
  Le32(v, 40);
  Le32(v, static_cast<uint32_t>(size));
  Le32(v, static_cast<uint32_t>(size * 2));
  Le16(v, 1);   // planes
  Le16(v, 32);  // bit count
  Le32(v, 0);   // BI_RGB
  Le32(v, xor_bytes + mask_bytes);
  Le32(v, 0);  // x pixels per metre
  Le32(v, 0);  // y pixels per metre
  Le32(v, 0);  // colours used
  Le32(v, 0);  // colours important
  // Colour data, bottom row first.
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      const uint8_t* px = &rgba[(static_cast<size_t>(y) * size + x) * 4];
      v.push_back(px[2]);
      v.push_back(px[1]);
      v.push_back(px[0]);
      v.push_back(px[3]);
    }
  }
  // AND mask, bottom row first: a set bit marks a fully transparent pixel.
  for (int y = size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(mask_stride, 0);
    for (int x = 0; x < size; ++x) {
      if (rgba[(static_cast<size_t>(y) * size + x) * 4 + 3] == 0)
        row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    v.insert(v.end(), row.begin(), row.end());
  }
  return v;
}

// ---------------------------------------------------------------------------

void WriteFile(const std::string& path, const void* data, size_t len) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) Fail("cannot open " + path + " for writing");
  if (len && std::fwrite(data, 1, len, f) != len) Fail("short write to " + path);
  if (std::fclose(f) != 0) Fail("cannot close " + path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_assets OUTDIR\n");
    return 2;
  }
  std::string dir = argv[1];
  if (!dir.empty() && dir.back() != '/') dir += '/';

  const std::vector<uint8_t> logo = EncodePng(Render(100), 100);
  const std::vector<uint8_t> ico = EncodeIco(Render(48), 48);

  WriteFile(dir + "logo.png", logo.data(), logo.size());
  WriteFile(dir + "kestrana.ico", ico.data(), ico.size());

  // A debug dump of the icon's pixels as a PNG, for looking at it.
  if (const char* dbg = std::getenv("MAKE_ASSETS_ICON_PNG")) {
    const std::vector<uint8_t> p = EncodePng(Render(48), 48);
    WriteFile(dbg, p.data(), p.size());
  }
  std::printf("logo.png %zu bytes, kestrana.ico %zu bytes\n", logo.size(), ico.size());
  return 0;
}
