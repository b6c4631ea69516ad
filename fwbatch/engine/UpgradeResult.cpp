#include "fwbatch/engine/UpgradeResult.h"

#include "fwbatch/engine/FwbatchStringIds.h"

namespace fwbatch {

uint32_t UpgradeResultStringId(int code) {
    if (code >= kUpgradeSuccess && code <= kUpgradeTooManyConnections) {
        return ids::kResultUpgraded + static_cast<uint32_t>(code);
    }
    return code == kUpgradeWrongPort ? ids::kResultWrongPort : 0;
}

}  // namespace fwbatch
