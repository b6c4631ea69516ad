#include "fwbatch/engine/UpgradeResult.h"

#include "fwbatch/engine/FwbatchStringIds.h"

namespace fwbatch {

uint32_t UpgradeResultStringId(int code) {
    if (code >= kUpgradeSuccess && code <= kUpgradeTooManyConnections) {
        return ids::kResultUpgraded + static_cast<uint32_t>(code);
    }
    switch (code) {
        case kUpgradeWrongPort:
            return ids::kResultWrongPort;
        case kUpgradeNotApplied:
            return ids::kResultNotApplied;
        case kUpgradeDidNotComeBack:
            return ids::kResultDidNotComeBack;
        default:
            return 0;
    }
}

}  // namespace fwbatch
