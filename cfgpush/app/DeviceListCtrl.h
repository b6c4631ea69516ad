#pragma once
// Cfgpush's device list (control 1000): a report view with grid lines and
// a check box in every row, seven columns, and one SEARCH_DEVICE_INFO per
// row that the row owns. Rows are found again by their record's MAC field;
// a gone notice removes the first row whose displayed (upper-case) MAC
// matches. The check boxes are the selection.

#include <QString>
#include <QTableWidget>

#include <memory>
#include <vector>

#include "common/discovery/SearchDeviceInfo.h"
#include "ui/StringTable.h"

namespace cfgpush {

class DeviceListCtrl : public QTableWidget {
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

    explicit DeviceListCtrl(QWidget* parent = nullptr);
    ~DeviceListCtrl() override;

    // Grid lines and check boxes, the seven columns with their headings and
    // widths, no rows.
    void SetupColumns(const strings::StringTable& texts);

    // A device answered: refreshes the row with the same MAC field in
    // place (the record is copied over the row's one), or inserts a new
    // unchecked row at the top that takes the record. Returns the row.
    int OnDeviceAnswer(std::unique_ptr<SEARCH_DEVICE_INFO> record);
    // A device is gone: removes the first row whose MAC column equals the
    // MAC text in upper case, and frees its record. False when none does.
    bool OnDeviceGone(const char* macText, size_t capacity);

    int Rows() const { return rowCount(); }
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    const SEARCH_DEVICE_INFO& Record(int row) const { return *m_records.at(row); }
    QString Text(int row, int column) const;
    void SetResultText(int row, const QString& text);

    // Removes every row and frees every record (once each).
    void FreeAllRecords();
    size_t RecordCount() const { return m_records.size(); }

    // The MAC column's text of a MAC field.
    static QString DisplayedMac(const char* mac, size_t capacity);

private:
    void WriteColumns(int row, const SEARCH_DEVICE_INFO& record);
    void SetText(int row, int column, const QString& text);

    // m_records[row] is the record of that row; kept in step with the rows.
    std::vector<std::unique_ptr<SEARCH_DEVICE_INFO>> m_records;
};

}  // namespace cfgpush
