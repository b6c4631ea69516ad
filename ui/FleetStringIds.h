#pragma once
// The list's context menu texts, the same ids in both programs' tables.

#include <cstdint>

namespace ui::fleet_ids {

constexpr uint32_t kSaveResults = 1200;
constexpr uint32_t kCheckFailed = 1201;
constexpr uint32_t kAddDevice = 1202;
constexpr uint32_t kSaveDeviceList = 1203;
constexpr uint32_t kLoadDeviceList = 1204;
constexpr uint32_t kSearchOn = 1205;
constexpr uint32_t kAllInterfaces = 1206;
constexpr uint32_t kAddressLabel = 1207;
constexpr uint32_t kPortLabel = 1208;
constexpr uint32_t kMsgNoneFailed = 1209;
constexpr uint32_t kMsgCannotWrite = 1210;
constexpr uint32_t kMsgCannotReadList = 1211;
constexpr uint32_t kMsgBadAddress = 1212;
constexpr uint32_t kMsgNotAdded = 1213;
constexpr uint32_t kReasonCannotConnect = 1214;
constexpr uint32_t kReasonWrongCredentials = 1215;
constexpr uint32_t kReasonRefused = 1216;
constexpr uint32_t kMsgInterfacesMissing = 1217;
constexpr uint32_t kMsgWaitForRun = 1218;
constexpr uint32_t kOnvifDataPort = 1219;

}  // namespace ui::fleet_ids
