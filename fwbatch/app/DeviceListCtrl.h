#pragma once
// Fwbatch's device list (control 1001): the shared device table with
// fifteen columns, rows numbered from the top, the AI columns hidden (no
// width) until shown, and sorting by the record behind four columns.
// Check-box clicks made with the mouse are reported apart from the
// program's own check changes.

#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "discovery/SearchDeviceInfo.h"
#include "strings/StringTable.h"
#include "ui/DeviceTable.h"

namespace fwbatch {

class DeviceListCtrl : public ui::DeviceTable {
public:
    enum Column {
        kColCheck = 0,
        kColIndex = 1,
        kColName = 2,
        kColAddress = 3,
        kColMac = 4,
        kColModel = 5,
        kColVersion = 6,
        kColBuildDate = 7,
        kColKernel = 8,
        kColActiveState = 9,
        kColAiStruct = 10,
        kColAiFace = 11,
        kColAiVehicle = 12,
        kColAiMatchFace = 13,
        kColResult = 14,
        kColumnCount = 15,
    };
    static constexpr int kAiColumnWidth = 80;

    explicit DeviceListCtrl(QWidget* parent = nullptr);

    // Grid lines, check boxes and full-row select, the fifteen columns with
    // their headings and widths, no rows.
    void SetupColumns(const strings::StringTable& texts);

    // Writes a device's columns except the build date (7) and the result
    // (14), which depend on the batch, and the AI columns.
    void WriteColumns(int row, const SEARCH_DEVICE_INFO& record, const strings::StringTable& texts);
    // Rows read 1, 2, ... N from the top.
    void Renumber();

    // Shows (width 80) or hides (width 0) the three AI version columns.
    void ShowAiColumns(bool shown);

    // Sorts the rows by what a sortable column shows (3, 5, 7, 8);
    // ascending puts smaller keys first, equal keys keep their order.
    // False for other columns.
    bool SortByColumn(int column, bool ascending);

    // Called after the operator's mouse click has changed a row's check box.
    void SetCheckBoxClicked(std::function<void(int row)> clicked) { m_clicked = std::move(clicked); }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::function<void(int row)> m_clicked;
    bool m_mouseClick = false;
};

}  // namespace fwbatch
