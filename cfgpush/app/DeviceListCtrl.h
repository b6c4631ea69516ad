#pragma once
// Cfgpush's device list (control 1000): the shared device table with seven
// columns. The check boxes are the selection.

#include <QString>

#include <memory>

#include "discovery/SearchDeviceInfo.h"
#include "strings/StringTable.h"
#include "ui/DeviceTable.h"

namespace cfgpush {

class DeviceListCtrl : public ui::DeviceTable {
public:
    enum Column { kColCheck, kColAddress, kColMac, kColName, kColModel, kColVersion, kColResult, kColumnCount };

    explicit DeviceListCtrl(QWidget* parent = nullptr) : ui::DeviceTable(parent) {}

    // Grid lines and check boxes, the seven columns with their headings and
    // widths, no rows.
    void SetupColumns(const strings::StringTable& texts);

    // A device answered (or was added by address): refreshes the row with
    // the same key in place (the record is copied over the row's one), or
    // inserts a new unchecked row at the top that takes the record. Returns
    // the row.
    int OnDeviceAnswer(std::unique_ptr<SEARCH_DEVICE_INFO> record, const std::string& key, bool addedByAddress);

    void SetResultText(int row, const QString& text) { SetText(row, kColResult, text); }

private:
    void WriteColumns(int row, const SEARCH_DEVICE_INFO& record);
};

}  // namespace cfgpush
