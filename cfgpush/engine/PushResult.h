#pragma once
// The result codes a push worker reports for one device, and the string
// each puts into the device's Result column.

#include <cstdint>

namespace cfgpush {

constexpr int kPushSuccess = 0;
constexpr int kPushProductTypeError = 1;  // accepted from devices, sent by no worker
constexpr int kPushContentError = 2;      // accepted from devices, sent by no worker
constexpr int kPushVersion3Failed = 3;    // version-3 path: no session
constexpr int kPushDisconnected = 4;      // neither address answered, or no reply in time
constexpr int kPushVersion4Failed = -1;   // version-4 path: no session, login refused, not 200
constexpr int kPushWorkerNotStarted = -2; // the system gave the worker no thread

// The string id of a result code: "Success!" for 0, "Product type error!"
// for 1, "configuration content error!" for 2, "Disconnected!" for 4 and
// "Failed!" for anything else.
uint32_t PushResultStringId(int code);

}  // namespace cfgpush
