#pragma once
// Cfgpush's main window, dialog template 102: the control ids and every
// control's kind, place (dialog units) and visibility, in template (tab)
// order.

#include <array>
#include <cstdint>

#include "ui/DialogTemplate.h"

namespace cfgpush::ctl {

constexpr int kDeviceList = 1000;
constexpr int kSelectAll = 1001;
constexpr int kClearAll = 1002;
constexpr int kPackagePath = 1003;
constexpr int kBrowse = 1004;
constexpr int kSetDefaultConfig = 1005;
constexpr int kBusyAnimation = 1006;
constexpr int kBusyText = 1007;
constexpr int kUserName = 1008;
constexpr int kPassword = 1009;
constexpr int kProductType = 1010;
constexpr int kCustomerCode = 1011;
constexpr int kLogoFrame = 1012;
constexpr int kPictureType = 1013;
constexpr int kLabelProfile = 1019;
constexpr int kLabelProductType = 1020;
constexpr int kLabelLogo = 1021;
constexpr int kLabelCustomerCode = 1022;
constexpr int kLabelPictureType = 1023;
constexpr int kLabelUserName = 1024;
constexpr int kLabelPassword = 1025;
constexpr int kNone = -1;  // group box and separator line

// Kinds as the shared template reader knows them; Cfgpush's white frame
// is its logo frame.
using Kind = ui::ControlKind;
using ControlTemplate = ui::ControlTemplate;

// The window itself: 424 x 401 dialog units, "MS Shell Dlg" 9 pt.
constexpr int kWindowWidth = 424;
constexpr int kWindowHeight = 401;
constexpr int kFontPointSize = 9;
// The controls both windows have, as the shared frame takes them.
constexpr ui::CommonControlIds kCommon{kSelectAll, kClearAll, kBrowse, kPackagePath, kBusyText, kUserName, kPassword};

inline constexpr std::array<ControlTemplate, 23> kTemplate102 = {{
    {kDeviceList, Kind::kListView, 7, 7, 410, 189, true, nullptr},
    {kSelectAll, Kind::kPushButton, 7, 200, 52, 14, true, nullptr},
    {kClearAll, Kind::kPushButton, 66, 200, 52, 14, true, nullptr},
    {kPackagePath, Kind::kEdit, 71, 249, 227, 13, true, nullptr},
    {kBrowse, Kind::kPushButton, 308, 248, 62, 14, true, nullptr},
    {kSetDefaultConfig, Kind::kPushButton, 173, 355, 84, 17, true, nullptr},
    {kBusyAnimation, Kind::kPicture, 193, 201, 17, 14, true, nullptr},
    {kBusyText, Kind::kStaticText, 217, 205, 135, 10, true, nullptr},
    {kLabelProductType, Kind::kStaticText, 22, 303, 38, 21, true, nullptr},
    {kProductType, Kind::kDropList, 65, 302, 82, 163, true, nullptr},
    {kNone, Kind::kGroupBox, 7, 286, 410, 59, true, "groupBox"},
    {kCustomerCode, Kind::kDropList, 53, 343, 82, 140, false, nullptr},
    {kLabelLogo, Kind::kStaticText, 173, 303, 38, 12, true, nullptr},
    {kLogoFrame, Kind::kWhiteFrame, 214, 303, 133, 31, true, nullptr},
    {kLabelCustomerCode, Kind::kStaticText, 14, 345, 37, 16, false, nullptr},
    {kNone, Kind::kBlackFrame, 7, 269, 410, 1, true, "separator"},
    {kPictureType, Kind::kDropList, 53, 366, 82, 140, false, nullptr},
    {kLabelPictureType, Kind::kStaticText, 14, 367, 31, 17, false, nullptr},
    {kLabelProfile, Kind::kStaticText, 21, 250, 46, 13, true, nullptr},
    {kUserName, Kind::kEdit, 71, 225, 84, 13, true, nullptr},
    {kLabelUserName, Kind::kStaticText, 22, 227, 46, 9, true, nullptr},
    {kPassword, Kind::kPasswordEdit, 214, 225, 84, 13, true, nullptr},
    {kLabelPassword, Kind::kStaticText, 173, 227, 38, 9, true, nullptr},
}};

}  // namespace cfgpush::ctl
