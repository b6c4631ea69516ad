// Fuzz target "fac_package": a factory configuration package file as the
// operator's Browse loads it, then everything a push reads from it.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cfgpush/engine/FacPackage.h"
#include "fuzz/FacExercise.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cfgpush::FacPackage package;
    const cfgpush::FacLoadResult result =
        package.LoadBytes(std::vector<uint8_t>(data, data + size));
    FUZZ_CHECK((result == cfgpush::FacLoadResult::kLoaded) == package.IsLoaded());
    if (result != cfgpush::FacLoadResult::kLoaded) {
        FUZZ_CHECK(result == cfgpush::FacLoadResult::kBadFormat);
        FUZZ_CHECK(package.FileBytes().empty() && package.ProductTypes().empty());
        return 0;
    }
    FUZZ_CHECK(package.FileBytes().size() == size);
    fuzz::ExercisePackage(package);
    return 0;
}
