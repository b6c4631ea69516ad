// Fuzz target "markup": the XML reader over any text, walked element by
// element with the cursor, then driven by cursor operations the input picks;
// and the search-answer parser with both programs' rules.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/markup/CMarkupSTL.h"
#include "discovery/SearchAnswer.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Depth first through every element with the cursor alone (no recursion,
// so deep nesting costs no stack), reading each element's and child's text.
void WalkEveryElement(CMarkupSTL& doc) {
    size_t depth = 0;
    for (;;) {
        if (doc.FindElement()) {
            (void)doc.GetElementText();
            while (doc.FindChildElement()) {
                (void)doc.GetChildElementText();
            }
            doc.ResetChildPosition();
            FUZZ_CHECK(doc.EnterElement());
            ++depth;
            continue;
        }
        if (depth == 0) {
            break;
        }
        FUZZ_CHECK(doc.LeaveElement());
        --depth;
    }
    // Back at the top: nothing above the document.
    FUZZ_CHECK(!doc.LeaveElement());
}

// Cursor operations in an order the input's first bytes choose, so the
// cursor reaches states a well-behaved caller never would.
void DriveCursor(CMarkupSTL& doc, const uint8_t* data, size_t size) {
    static const char* const kNames[] = {nullptr, "", "item", "item/", "a", "productInfo"};
    const size_t steps = size < 64 ? size : 64;
    for (size_t i = 0; i < steps; ++i) {
        const uint8_t op = data[i];
        const char* name = kNames[(op >> 3) % (sizeof kNames / sizeof kNames[0])];
        switch (op & 7) {
            case 0:
                doc.FindElement(name);
                break;
            case 1:
                doc.EnterElement();
                break;
            case 2:
                doc.LeaveElement();
                break;
            case 3:
                doc.ResetMainPosition();
                break;
            case 4:
                doc.FindChildElement(name);
                break;
            case 5:
                doc.ResetChildPosition();
                break;
            default:
                (void)doc.GetElementText();
                (void)doc.GetChildElementText();
                break;
        }
    }
}

// An answer written by discovery for a device ONVIF found ("deviceSource")
// carries its MAC apart from the key; any other takes the key as its MAC.
void CheckReport(const discovery::SearchReport& report, const char* mac, bool merged) {
    const size_t macLength = strnlen(mac, kMacTextMax);
    switch (report.type) {
        case discovery::SearchReport::Type::Dropped:
            FUZZ_CHECK(report.device == nullptr && report.goneMac == nullptr);
            break;
        case discovery::SearchReport::Type::Gone:
            FUZZ_CHECK(report.device == nullptr && report.key == mac);
            if (merged) {
                FUZZ_CHECK(report.goneMac == nullptr ||
                           strnlen(report.goneMac.get(), kGoneMacBlockSize) <= kMacTextMax);
                break;
            }
            FUZZ_CHECK(report.goneMac != nullptr);
            FUZZ_CHECK(std::memcmp(report.goneMac.get(), mac, macLength) == 0);
            FUZZ_CHECK(report.goneMac[macLength] == '\0');
            break;
        case discovery::SearchReport::Type::Device: {
            FUZZ_CHECK(report.device != nullptr);
            const SEARCH_DEVICE_INFO& d = *report.device;
            FUZZ_CHECK(merged ? std::strlen(d.mac) <= kMacTextMax
                              : std::strlen(d.mac) == macLength);
            FUZZ_CHECK(fuzz::Terminated(d.devName) && fuzz::Terminated(d.ip[0]) &&
                       fuzz::Terminated(d.ip[1]) && fuzz::Terminated(d.mask[0]) &&
                       fuzz::Terminated(d.mask[1]) && fuzz::Terminated(d.productModel) &&
                       fuzz::Terminated(d.softwareVer) && fuzz::Terminated(d.softwareBuildDate) &&
                       fuzz::Terminated(d.kernelVer));
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto* text = reinterpret_cast<const char*>(data);
    {
        CMarkupSTL doc(text, size);
        FUZZ_CHECK(doc.IsWellFormed() || !doc.GetError().empty());
        FUZZ_CHECK(doc.GetDoc().size() == size);
        WalkEveryElement(doc);
        doc.ResetMainPosition();
        DriveCursor(doc, data, size);
    }

    // The search library hands the parser a zero-terminated text.
    const std::string answer(text, size);
    const bool merged = answer.find("deviceSource") != std::string::npos;
    static const char kMac[] = "00:1A:2B:3C:4D:5E";
    static const char kLongMac[] = "0123456789abcdefghijklmnopqrstuvwxyz";  // cut to 19
    using discovery::ParseSearchAnswer;
    CheckReport(
        ParseSearchAnswer(kMac, discovery::kReportAnswer, answer.c_str(), discovery::kCfgpushRules),
        kMac, merged);
    CheckReport(ParseSearchAnswer(kLongMac, discovery::kReportAnswerChanged, answer.c_str(),
                                  discovery::kFwbatchRules),
                kLongMac, merged);
    CheckReport(
        ParseSearchAnswer(kMac, discovery::kReportGone, answer.c_str(), discovery::kFwbatchRules),
        kMac, merged);
    return 0;
}
