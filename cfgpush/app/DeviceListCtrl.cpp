#include "cfgpush/app/DeviceListCtrl.h"

#include <cstring>

#include "cfgpush/engine/CfgpushStringIds.h"
#include "discovery/VersionText.h"

namespace cfgpush {

void DeviceListCtrl::SetupColumns(const strings::StringTable& texts) {
    ui::DeviceTable::SetupColumns({{0, 25},
                                   {ids::kColumnIpAddress, 130},
                                   {ids::kColumnMac, 130},
                                   {ids::kColumnDeviceName, 120},
                                   {ids::kColumnProductType, 120},
                                   {ids::kColumnSoftwareVersion, 80},
                                   {ids::kColumnResult, 180}},
                                  kColMac, texts);
}

int DeviceListCtrl::OnDeviceAnswer(std::unique_ptr<SEARCH_DEVICE_INFO> record, const std::string& key,
                                   bool addedByAddress) {
    bool inserted = false;
    const int row = MergeAnswer(record, key, addedByAddress, inserted);
    WriteColumns(row, inserted ? Record(row) : *record);
    if (!inserted) {
        ReplaceRecord(row, *record);  // the new record is freed here
    }
    return row;
}

void DeviceListCtrl::WriteColumns(int row, const SEARCH_DEVICE_INFO& record) {
    SetText(row, kColAddress, ui::FieldText(record.ip[0]));
    SetText(row, kColMac, DisplayedMac(record.mac, sizeof record.mac));
    SetText(row, kColName, ui::Utf8FieldText(record.devName));
    SetText(row, kColModel, ui::FieldText(record.productModel));
    char version[sizeof record.softwareVer + 1] = {};
    std::memcpy(version, record.softwareVer, sizeof record.softwareVer);
    char secondMask[sizeof record.mask[1] + 1] = {};
    std::memcpy(secondMask, record.mask[1], sizeof record.mask[1]);
    SetText(
        row, kColVersion,
        QString::fromLocal8Bit(discovery::FormatVersionText(version, record.build, secondMask)));
}

}  // namespace cfgpush
