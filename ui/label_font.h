// The font of the emphasised labels: 12 pixels, bold, proof quality, and no
// face name so that the system picks one for the character set.
#pragma once

#include <cstdint>

namespace kestrana {

struct FontRecord {
  std::int32_t height = 0, width = 0, escapement = 0, orientation = 0, weight = 0;
  bool italic = false, underline = false, strikeOut = false;
  std::uint8_t charSet = 0, outPrecision = 0, clipPrecision = 0, quality = 0, pitchAndFamily = 0;
  const char* faceName = "";
};

inline constexpr std::uint8_t kDefaultCharset = 1;
inline constexpr std::uint8_t kProofQuality = 2;
inline constexpr std::int32_t kFontWeightBold = 700;

constexpr FontRecord LabelFont(bool underline) {
  FontRecord f;
  f.height = -12;
  f.weight = kFontWeightBold;
  f.underline = underline;
  f.charSet = kDefaultCharset;
  f.quality = kProofQuality;
  return f;
}

}  // namespace kestrana
