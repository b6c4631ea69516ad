#pragma once
// What the fac fuzz targets do with a package that loaded: everything a
// push reads from it, with the invariants of each result checked.

namespace cfgpush {
class FacPackage;
}

namespace fuzz {

void ExercisePackage(const cfgpush::FacPackage& package);

}  // namespace fuzz
