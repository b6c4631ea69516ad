#pragma once
// Fwbatch's main window, dialog template 102 (587 x 418 dialog units,
// "MS Shell Dlg" 9 pt): the control ids and every control's kind, place
// (dialog units) and visibility, in template (tab) order.

#include <array>

#include "ui/DialogTemplate.h"

namespace fwbatch::ctl {

constexpr int kDeviceList = 1001;
constexpr int kSelectAll = 1002;
constexpr int kClearAll = 1003;
constexpr int kChooseSameType = 1004;
constexpr int kUpgradeType = 1005;
constexpr int kPackagePath = 1006;
constexpr int kBrowse = 1007;
constexpr int kUpgrade = 1008;
constexpr int kBusyAnimation = 1009;
constexpr int kBusyText = 1011;
constexpr int kUpgradeGroup = 1012;
constexpr int kUserName = 1013;
constexpr int kLabelUserName = 1014;
constexpr int kLabelPassword = 1015;
constexpr int kPassword = 1016;
constexpr int kGetAiVersion = 1019;
constexpr int kToggleAiColumns = 1022;

using Kind = ui::ControlKind;

constexpr int kWindowWidth = 587;
constexpr int kWindowHeight = 418;
constexpr int kFontPointSize = 9;
// The controls both windows have, as the shared frame takes them.
constexpr ui::CommonControlIds kCommon{kSelectAll, kClearAll, kBrowse, kPackagePath, kBusyText, kUserName, kPassword};

inline constexpr std::array<ui::ControlTemplate, 17> kTemplate102 = {{
    {kDeviceList, Kind::kListView, 7, 7, 573, 292, true, nullptr},
    {kSelectAll, Kind::kPushButton, 7, 305, 52, 14, true, nullptr},
    {kClearAll, Kind::kPushButton, 64, 305, 52, 14, true, nullptr},
    {kChooseSameType, Kind::kPushButton, 121, 305, 104, 14, true, nullptr},
    {kGetAiVersion, Kind::kPushButton, 230, 305, 62, 14, true, nullptr},
    {kToggleAiColumns, Kind::kPushButton, 297, 305, 74, 14, true, nullptr},
    {kBusyAnimation, Kind::kPicture, 385, 305, 17, 14, false, nullptr},
    {kBusyText, Kind::kStaticText, 406, 308, 170, 10, false, nullptr},
    {kUpgradeGroup, Kind::kGroupBox, 7, 326, 573, 85, true, nullptr},
    {kLabelUserName, Kind::kStaticText, 17, 343, 40, 9, true, nullptr},
    {kUserName, Kind::kEdit, 60, 341, 90, 13, true, nullptr},
    {kLabelPassword, Kind::kStaticText, 165, 343, 40, 9, true, nullptr},
    {kPassword, Kind::kEdit, 208, 341, 90, 13, true, nullptr},
    {kUpgradeType, Kind::kDropList, 313, 340, 130, 80, true, nullptr},
    {kPackagePath, Kind::kReadOnlyEdit, 17, 364, 426, 13, true, nullptr},
    {kBrowse, Kind::kPushButton, 450, 363, 62, 14, true, nullptr},
    {kUpgrade, Kind::kPushButton, 252, 387, 84, 17, true, nullptr},
}};

}  // namespace fwbatch::ctl
