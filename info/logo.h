// Kestrana's 100x100 logo as PNG bytes: assets/logo.png, embedded by the build
// (cmake/embed_file.cmake).
#ifndef KESTRANA_INFO_LOGO_H_
#define KESTRANA_INFO_LOGO_H_

namespace kestrana {
extern const unsigned char kLogoPng[];
extern const unsigned kLogoPngSize;
}  // namespace kestrana

#endif  // KESTRANA_INFO_LOGO_H_
