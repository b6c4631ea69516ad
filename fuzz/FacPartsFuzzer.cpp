// Fuzz target "fac_parts": the deciphered contents of a package. The input
// holds the parts in clear; the package tool enciphers them into a package,
// which must load and give back what went in, and then everything a push
// reads from it runs on fuzzed configuration texts and pictures (contents
// a fuzzer could never reach through the cipher of "fac_package").
//
// Input: customer code RS common text, then entries separated by RS, each
// name US bytes; a name starting with "@" makes a picture entry (the "@"
// dropped), any other a product type. RS = 0x1E, US = 0x1F.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/FacWriter.h"
#include "fuzz/FacExercise.h"
#include "fuzz/FuzzSupport.h"

namespace {

constexpr uint8_t kRecordSeparator = 0x1E;
constexpr uint8_t kUnitSeparator = 0x1F;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ByteCursor cursor(data, size);
    cfgpush::FacPackageSource source;
    source.customerCode = fuzz::Text(cursor.Until(kRecordSeparator));
    const auto common = cursor.Until(kRecordSeparator);
    source.commonText.assign(common.begin(), common.end());
    while (!cursor.Empty()) {
        const auto record = cursor.Until(kRecordSeparator);
        fuzz::ByteCursor entry(record.data(), record.size());
        std::string name = fuzz::Text(entry.Until(kUnitSeparator));
        const auto bytes = entry.Rest();
        const bool picture = !name.empty() && name[0] == '@';
        if (picture) {
            name.erase(0, 1);
        }
        auto& list = picture ? source.pictures : source.products;
        list.push_back({std::move(name), std::vector<uint8_t>(bytes.begin(), bytes.end())});
    }

    std::vector<uint8_t> file;
    std::string problem;
    if (!cfgpush::BuildFacPackage(source, file, problem)) {
        FUZZ_CHECK(!problem.empty());
        return 0;
    }
    cfgpush::FacPackage package;
    FUZZ_CHECK(package.LoadBytes(file) == cfgpush::FacLoadResult::kLoaded);
    // Every part comes back as it went in.
    FUZZ_CHECK(package.DecipherBlock(package.Customer()) == source.commonText);
    FUZZ_CHECK(package.ProductTypes().size() == source.products.size());
    size_t number = 0;
    for (const auto& [entryNumber, block] : package.ProductTypes()) {
        FUZZ_CHECK(entryNumber == static_cast<int32_t>(number));
        FUZZ_CHECK(package.DecipherBlock(block) == source.products[number].plain);
        ++number;
    }
    FUZZ_CHECK(package.PicturesPresent() == (source.pictures.empty() ? 0 : 1));
    fuzz::ExercisePackage(package);
    return 0;
}
