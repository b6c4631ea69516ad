#pragma once
// Ids of Fwbatch's string table (resources/fwbatch/strings.<language>.txt),
// shared by the window and the command line.

#include <cstdint>

namespace fwbatch::ids {

constexpr uint32_t kSelectAll = 1002;
constexpr uint32_t kClearAll = 1003;
constexpr uint32_t kChooseSameType = 1004;
constexpr uint32_t kBusyText = 1005;
constexpr uint32_t kBatchUpgradeGroup = 1006;
constexpr uint32_t kBrowse = 1007;
constexpr uint32_t kUpgrade = 1008;
constexpr uint32_t kTitle = 1009;
constexpr uint32_t kColumnMac = 1010;
constexpr uint32_t kColumnProductType = 1011;
constexpr uint32_t kColumnSoftwareVersion = 1012;
constexpr uint32_t kColumnBuildDate = 1013;
constexpr uint32_t kColumnKernelVersion = 1014;
constexpr uint32_t kColumnResult = 1015;
// Upgrade results 1016..1024, by code (UpgradeResult.h).
constexpr uint32_t kResultUpgraded = 1016;
constexpr uint32_t kResultWrongAddress = 1017;
constexpr uint32_t kResultOpenFileFailed = 1018;
constexpr uint32_t kResultPackageError = 1019;
constexpr uint32_t kResultNetworkDisconnected = 1020;
constexpr uint32_t kResultUpgradeFailed = 1021;
constexpr uint32_t kResultConnectionFailed = 1022;
constexpr uint32_t kResultWrongCredentials = 1023;
constexpr uint32_t kResultTooManyConnections = 1024;
constexpr uint32_t kFileFilter = 1025;
constexpr uint32_t kMsgSelectFile = 1026;
constexpr uint32_t kMsgSelectDevice = 1027;
constexpr uint32_t kLabelUserName = 1028;
constexpr uint32_t kLabelPassword = 1029;
constexpr uint32_t kTypeSoftware = 1030;
constexpr uint32_t kTypeKernel = 1031;
constexpr uint32_t kTypeUboot = 1032;
constexpr uint32_t kColumnIpAddress = 1033;
constexpr uint32_t kAboutMenu = 1034;
constexpr uint32_t kAboutName = 1035;
constexpr uint32_t kAboutVersion = 1036;
constexpr uint32_t kAboutDate = 1037;
constexpr uint32_t kTypeFileSystem = 1038;  // present in every table, not used
constexpr uint32_t kResultWrongPort = 1039;
constexpr uint32_t kColumnCameraName = 1040;
constexpr uint32_t kMsgTooManyDevices = 1047;
constexpr uint32_t kColumnIndex = 1048;
constexpr uint32_t kTypeAiLibrary = 1049;
constexpr uint32_t kColumnActiveState = 1050;
constexpr uint32_t kActivated = 1051;
constexpr uint32_t kNotActivated = 1052;
constexpr uint32_t kColumnAiStruct = 1053;
constexpr uint32_t kColumnAiFace = 1054;
constexpr uint32_t kColumnAiMatchFace = 1055;
constexpr uint32_t kColumnAiVehicle = 1056;
constexpr uint32_t kAiReceived = 1057;
constexpr uint32_t kAiFailed = 1058;
constexpr uint32_t kAiNotSupported = 1059;
constexpr uint32_t kShowAiColumns = 1060;  // Simplified Chinese table only
constexpr uint32_t kHideAiColumns = 1061;  // Simplified Chinese table only
constexpr uint32_t kMsgSelectAiDevice = 1062;
// Verifying an upgrade: results and the window's check box.
constexpr uint32_t kResultNotApplied = 1100;
constexpr uint32_t kResultDidNotComeBack = 1101;
constexpr uint32_t kVerify = 1102;
// Adapter preparation refused for lack of rights: the group to join.
constexpr uint32_t kMsgAdapterGroup = 1110;

}  // namespace fwbatch::ids
