#pragma once
// Ids of Cfgpush's string table (resources/cfgpush/strings.<language>.txt),
// shared by the window and the command line.

#include <cstdint>

namespace cfgpush::ids {

constexpr uint32_t kSelectAll = 1001;
constexpr uint32_t kClearAll = 1002;
constexpr uint32_t kColumnMac = 1003;
constexpr uint32_t kBrowse = 1004;
constexpr uint32_t kSetDefaultConfig = 1005;
constexpr uint32_t kColumnDeviceName = 1006;
constexpr uint32_t kBusyText = 1007;
constexpr uint32_t kColumnProductType = 1008;
constexpr uint32_t kColumnSoftwareVersion = 1009;
constexpr uint32_t kColumnResult = 1010;
constexpr uint32_t kResultSuccess = 1011;
constexpr uint32_t kCustomerCodeNone = 1012;
constexpr uint32_t kResultProductTypeError = 1013;
constexpr uint32_t kResultContentError = 1014;
constexpr uint32_t kResultDisconnected = 1015;
constexpr uint32_t kResultFailed = 1016;
constexpr uint32_t kColumnIpAddress = 1017;
constexpr uint32_t kLabelUserName = 1018;
constexpr uint32_t kLabelProfile = 1019;
constexpr uint32_t kLabelProductType = 1020;
constexpr uint32_t kLabelLogo = 1021;
constexpr uint32_t kLabelCustomerCode = 1022;
constexpr uint32_t kLabelPictureType = 1023;
constexpr uint32_t kMsgBadFileFormat = 1024;
constexpr uint32_t kMsgSelectDevice = 1025;
constexpr uint32_t kMsgImportFileFirst = 1026;
constexpr uint32_t kMsgFileIncorrect = 1027;
constexpr uint32_t kWindowTitle = 1028;
constexpr uint32_t kLabelPassword = 1029;

constexpr uint32_t kFirst = 1001;
constexpr uint32_t kLast = 1029;

}  // namespace cfgpush::ids
