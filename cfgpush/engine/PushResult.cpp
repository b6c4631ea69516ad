#include "cfgpush/engine/PushResult.h"

#include "cfgpush/engine/CfgpushStringIds.h"

namespace cfgpush {

uint32_t PushResultStringId(int code) {
    switch (code) {
        case kPushSuccess:
            return ids::kResultSuccess;
        case kPushProductTypeError:
            return ids::kResultProductTypeError;
        case kPushContentError:
            return ids::kResultContentError;
        case kPushDisconnected:
            return ids::kResultDisconnected;
        default:
            return ids::kResultFailed;
    }
}

}  // namespace cfgpush
