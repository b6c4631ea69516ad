#include "cfgpush/engine/SendData.h"

#include <cstring>
#include <string>
#include <string_view>

#include "cfgpush/engine/CustomerPictures.h"
#include "cfgpush/engine/FacFormat.h"
#include "cfgpush/engine/FacPackage.h"
#include "common/platform/ByteOrder.h"
#include "common/platform/Diagnostics.h"

namespace cfgpush {
namespace {

constexpr size_t kSectionNameSize = 16;
constexpr size_t kV3PictureNameMax = kSectionNameSize - 1;
constexpr std::string_view kLineEnd = "\r\n";

class PayloadWriter {
public:
    explicit PayloadWriter(std::vector<uint8_t>& out) : m_out(out) {}

    void Uint32(uint32_t value) {
        uint8_t field[4];
        byteorder::WriteLe32(field, value);
        m_out.insert(m_out.end(), field, field + sizeof field);
    }
    void Bytes(const void* data, size_t length) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        m_out.insert(m_out.end(), bytes, bytes + length);
    }
    // A name in a 16-byte zero-filled field, cut to `maxLength` bytes.
    void Name(std::string_view name, size_t maxLength) {
        const size_t kept = std::min(name.size(), maxLength);
        Bytes(name.data(), kept);
        m_out.insert(m_out.end(), kSectionNameSize - kept, 0);
    }
    void Section(std::string_view name, size_t maxNameLength, const std::vector<uint8_t>& data) {
        Name(name, maxNameLength);
        Uint32(static_cast<uint32_t>(data.size()));
        Bytes(data.data(), data.size());
    }

private:
    std::vector<uint8_t>& m_out;
};

constexpr uint64_t kMaxPayload = UINT32_MAX;

bool BuildVersion4(const FactoryItemLists& lists, const FacPackage& package,
                   std::vector<uint8_t>& payload) {
    std::string text(kConfigHeader);
    text += kLineEnd;
    platform::DiagPrintf("[IPCamera-Config-File]---------------------------------");
    for (const DEVICE_V4_UNIT& unit : lists.m_V4cfgItemList) {
        text += FieldText(unit.line);
        text += kLineEnd;
        platform::DiagPrintf("m_V4cfgItemList.GetNext(postion);---------------------------------");
    }

    struct Picture {
        PictureKind kind;
        std::vector<uint8_t> bytes;
    };
    std::vector<Picture> pictures;
    uint64_t total = 4 + kSectionNameSize + 4 + text.size();
    if (package.PicturesPresent() == 1) {
        for (const PictureKind kind : kPictureSectionOrder) {
            std::vector<uint8_t> bytes = PictureBytes(package, kind);
            if (!bytes.empty()) {
                total += kSectionNameSize + 4 + bytes.size();
                pictures.push_back({kind, std::move(bytes)});
            }
        }
    }
    if (total > kMaxPayload) {
        return false;
    }

    payload.reserve(static_cast<size_t>(total));
    platform::DiagPrintf("memset(pData, 0, nLen);---------------------------------");
    PayloadWriter out(payload);
    out.Uint32(static_cast<uint32_t>(total));
    out.Name("facConfig", kSectionNameSize);
    out.Uint32(static_cast<uint32_t>(text.size()));
    out.Bytes(text.data(), text.size());
    platform::DiagPrintf("memcpy(pData + index,pTemp,ulConfig);---------------------------------");
    for (const Picture& picture : pictures) {
        out.Section(PictureSectionName(picture.kind), kSectionNameSize, picture.bytes);
    }
    return true;
}

bool BuildVersion3(const FactoryItemLists& lists, const FacPackage& package,
                   std::vector<uint8_t>& payload) {
    struct Picture {
        std::string_view name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Picture> pictures;
    uint64_t total = 4 + uint64_t{sizeof(FACTORY_ITEM_INFO)} * lists.m_itemList.size();
    if (package.PicturesPresent() == 1) {
        for (const PictureKind kind : {PictureKind::kLoginLogo, PictureKind::kTitleLogo}) {
            const FAC_BLOCK_INFO& slot = package.PictureSlot(kind);
            std::vector<uint8_t> bytes = package.DecipherBlock(slot);
            if (!bytes.empty()) {
                total += kSectionNameSize + 4 + bytes.size();
                pictures.push_back({BlockName(slot), std::move(bytes)});
            }
        }
    }
    if (total > kMaxPayload) {
        return false;
    }

    payload.reserve(static_cast<size_t>(total));
    PayloadWriter out(payload);
    out.Uint32(static_cast<uint32_t>(lists.m_itemList.size()));
    for (const FACTORY_ITEM_INFO& item : lists.m_itemList) {
        out.Bytes(item.key, sizeof item.key);
        out.Bytes(item.value, sizeof item.value);
    }
    // The device's name field holds 15 bytes and a zero: longer entry names
    // are cut.
    for (const Picture& picture : pictures) {
        out.Section(picture.name, kV3PictureNameMax, picture.bytes);
    }
    return true;
}

}  // namespace

bool GetSendData(bool version4, const FactoryItemLists& lists, const FacPackage& package,
                 std::vector<uint8_t>& payload) {
    payload.clear();
    platform::DiagPrintf("CCfgpushDlg::GetSendData Start---------------------------------");
    const bool built =
        version4 ? BuildVersion4(lists, package, payload) : BuildVersion3(lists, package, payload);
    if (!built) {
        payload.clear();
        payload.shrink_to_fit();
    }
    return built;
}

}  // namespace cfgpush
