// Kestrana's 100x100 logo as PNG bytes, generated into info/logo_png.cpp by assets/make_assets.cpp.
#ifndef KESTRANA_INFO_LOGO_H_
#define KESTRANA_INFO_LOGO_H_

namespace kestrana {
extern const unsigned char kLogoPng[];
extern const unsigned kLogoPngSize;
}  // namespace kestrana

#endif  // KESTRANA_INFO_LOGO_H_
