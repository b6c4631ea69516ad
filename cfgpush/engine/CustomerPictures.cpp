#include "cfgpush/engine/CustomerPictures.h"

#include "cfgpush/engine/FacPackage.h"

namespace cfgpush {
namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

}  // namespace

std::optional<PictureKind> PictureKindOfName(std::string_view entryName) {
    const bool recognised = Contains(entryName, "icon") || Contains(entryName, "title_icon") ||
                            Contains(entryName, "TabletLogo") || Contains(entryName, "start") ||
                            Contains(entryName, "wallpaper");
    if (!recognised) {
        return std::nullopt;
    }
    if (Contains(entryName, "title")) {
        return PictureKind::kTitleLogo;
    }
    if (Contains(entryName, "TabletLogo")) {
        return PictureKind::kTabletLogo;
    }
    if (Contains(entryName, "start")) {
        return PictureKind::kStart;
    }
    if (Contains(entryName, "wallpaper")) {
        return PictureKind::kWallpaper;
    }
    return PictureKind::kLoginLogo;
}

std::string_view PictureSectionName(PictureKind kind) {
    switch (kind) {
        case PictureKind::kTitleLogo:
            return "titleLogo";
        case PictureKind::kTabletLogo:
            return "TabletLogo";
        case PictureKind::kStart:
            return "start";
        case PictureKind::kWallpaper:
            return "wallpaper";
        case PictureKind::kLoginLogo:
            break;
    }
    return "loginLogo";
}

std::string_view PictureKindLabel(PictureKind kind) {
    switch (kind) {
        case PictureKind::kTitleLogo:
            return "title_logo";
        case PictureKind::kTabletLogo:
            return "tablet_logo";
        case PictureKind::kStart:
            return "start_picture";
        case PictureKind::kWallpaper:
            return "wallpaper";
        case PictureKind::kLoginLogo:
            break;
    }
    return "login_logo";
}

bool PictureHasExtraZero(PictureKind kind) {
    return kind == PictureKind::kTabletLogo || kind == PictureKind::kStart ||
           kind == PictureKind::kWallpaper;
}

std::vector<uint8_t> PictureBytes(const FacPackage& package, PictureKind kind) {
    const FAC_BLOCK_INFO& slot = package.PictureSlot(kind);
    if (slot.length <= 0) {
        return {};
    }
    std::vector<uint8_t> bytes = package.DecipherBlock(slot);
    if (PictureHasExtraZero(kind)) {
        bytes.push_back(0);
    }
    return bytes;
}

}  // namespace cfgpush
