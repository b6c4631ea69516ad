#pragma once
// Cfgpush's device list (control 1000): the shared device table with seven
// columns. A gone notice removes the first row whose displayed
// (upper-case) MAC matches. The check boxes are the selection.

#include <QString>

#include <memory>

#include "discovery/SearchDeviceInfo.h"
#include "strings/StringTable.h"
#include "ui/DeviceTable.h"

namespace cfgpush {

class DeviceListCtrl : public ui::DeviceTable {
public:
    enum Column {
        kColCheck = 0,
        kColAddress = 1,
        kColMac = 2,
        kColName = 3,
        kColModel = 4,
        kColVersion = 5,
        kColResult = 6,
        kColumnCount = 7,
    };

    explicit DeviceListCtrl(QWidget* parent = nullptr) : ui::DeviceTable(parent) {}

    // Grid lines and check boxes, the seven columns with their headings and
    // widths, no rows.
    void SetupColumns(const strings::StringTable& texts);

    // A device answered (or was added by address): refreshes the row with
    // the same key in place (the record is copied over the row's one), or
    // inserts a new unchecked row at the top that takes the record. Returns
    // the row.
    int OnDeviceAnswer(std::unique_ptr<SEARCH_DEVICE_INFO> record, bool addedByAddress = false);
    // A device is gone: removes the first row whose MAC column equals the
    // MAC text in upper case, and frees its record. False when none does.
    bool OnDeviceGone(const char* macText, size_t capacity);

    void SetResultText(int row, const QString& text) { SetText(row, kColResult, text); }

private:
    void WriteColumns(int row, const SEARCH_DEVICE_INFO& record);
};

}  // namespace cfgpush
