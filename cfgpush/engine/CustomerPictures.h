#pragma once
// The five kinds of customer picture a package can carry, recognised by the
// entry's name, and the bytes of each kind that a push sends.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace cfgpush {

class FacPackage;

// In the order the name tests are tried.
enum class PictureKind : uint8_t { kTitleLogo, kTabletLogo, kStart, kWallpaper, kLoginLogo };
constexpr size_t kPictureKindCount = 5;

// The order of the picture sections in a version-4 payload.
constexpr std::array<PictureKind, kPictureKindCount> kPictureSectionOrder = {
    PictureKind::kLoginLogo, PictureKind::kTitleLogo, PictureKind::kTabletLogo, PictureKind::kStart,
    PictureKind::kWallpaper};

// The kind of a picture entry by its name (case-sensitive substring tests):
// none unless the name contains "icon", "title_icon", "TabletLogo", "start"
// or "wallpaper"; then title logo if it contains "title", tablet logo for
// "TabletLogo", start picture for "start", wallpaper for "wallpaper", and
// the login logo otherwise.
std::optional<PictureKind> PictureKindOfName(std::string_view entryName);

// The section name of the kind in a version-4 payload ("titleLogo", ...).
std::string_view PictureSectionName(PictureKind kind);

// A short label for people and scripts ("title_logo", ...).
std::string_view PictureKindLabel(PictureKind kind);

// The tablet logo, start picture and wallpaper are sent with one zero byte
// after the image, counted in the section's length.
bool PictureHasExtraZero(PictureKind kind);

// The bytes of the kind's picture that a push sends: the deciphered image,
// plus the extra zero byte where the kind has one. Empty when the package
// has no picture of that kind. A picture that does not decipher gives no
// bytes, or just the extra zero byte for the kinds that have one.
std::vector<uint8_t> PictureBytes(const FacPackage& package, PictureKind kind);

}  // namespace cfgpush
