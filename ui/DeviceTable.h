#pragma once
// The device list both main windows show: a report view with grid lines,
// a check box in column 0 of every row, and one SEARCH_DEVICE_INFO per row
// that the row owns, with the row's own state beside it: its key and
// whether it was added by address. The key of a device the search found is
// its key in the search (its MAC text, or the endpoint reference of a
// camera ONVIF found; discovery::SearchedDeviceKey), of one added by address
// its MAC text or, while that is unknown, its address and port
// (discovery::DeviceRowKey). Rows are found again by their key or by a
// column's text; each window writes its own columns.

#include <QString>
#include <QTableWidget>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "discovery/SearchDeviceInfo.h"
#include "strings/StringTable.h"

namespace ui {

// A record's text field as shown: 8-bit text of the system code page.
template <size_t N>
QString FieldText(const char (&field)[N]) {
    return QString::fromLocal8Bit(field, static_cast<qsizetype>(strnlen(field, N)));
}
// A UTF-8 text field (the device name).
template <size_t N>
QString Utf8FieldText(const char (&field)[N]) {
    return QString::fromUtf8(field, static_cast<qsizetype>(strnlen(field, N)));
}

class DeviceTable : public QTableWidget {
public:
    struct ColumnSpec {
        uint32_t headingId;  // 0: no heading
        int width;           // pixels
    };

    explicit DeviceTable(QWidget* parent = nullptr);
    ~DeviceTable() override;

    // Grid lines, the columns with their headings and widths, no rows;
    // macColumn is the one that shows the MAC.
    void SetupColumns(const std::vector<ColumnSpec>& columns, int macColumn, const strings::StringTable& texts);

    // The first row with this key, or -1.
    int FindKey(const std::string& key) const;
    // The first row whose column shows text, or -1.
    int FindText(int column, const QString& text) const;
    // The first row whose MAC column shows this MAC text (in upper case, as
    // shown), or -1; none for an empty text.
    int FindShownMac(const char* mac, size_t capacity) const;
    // A device answered (or was added by address). When a row with its key
    // is listed, returns it and leaves the record with the caller (to write
    // over the row's one); else inserts an unchecked row at the top that
    // takes the record, and returns 0 with `inserted` set.
    int MergeAnswer(std::unique_ptr<SEARCH_DEVICE_INFO>& record, const std::string& key, bool addedByAddress,
                    bool& inserted);
    // Inserts an unchecked row with empty cells at the top; it takes the record.
    void InsertTop(std::unique_ptr<SEARCH_DEVICE_INFO> record, const std::string& key, bool addedByAddress = false);
    // Copies a device's new record over the row's one, byte for byte.
    void ReplaceRecord(int row, const SEARCH_DEVICE_INFO& record);
    // Removes the row and frees its record.
    void RemoveDeviceRow(int row);
    // Puts the rows in a new order: order[i] is the row that goes to place i.
    void Reorder(const std::vector<int>& order);

    int Rows() const { return rowCount(); }
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    const SEARCH_DEVICE_INFO& Record(int row) const { return *m_rows.at(static_cast<size_t>(row)).record; }
    // The row was added by address, and no search answer has taken it over.
    bool AddedByAddress(int row) const { return m_rows.at(static_cast<size_t>(row)).addedByAddress; }
    const std::string& Key(int row) const { return m_rows.at(static_cast<size_t>(row)).key; }
    // A search answer takes over a row added by address: its key and state.
    void TakeOver(int row, const std::string& key) {
        m_rows.at(static_cast<size_t>(row)).key = key;
        m_rows.at(static_cast<size_t>(row)).addedByAddress = false;
    }
    QString Text(int row, int column) const;
    void SetText(int row, int column, const QString& text);
    void SetToolTip(int row, int column, const QString& text);

    // Removes every row and frees every record (once each).
    void FreeAllRecords();
    size_t RecordCount() const { return m_rows.size(); }

    // The MAC column's text of a MAC field: upper case (empty for a device
    // added by address whose MAC is not known).
    static QString DisplayedMac(const char* mac, size_t capacity);

private:
    struct Row {
        std::unique_ptr<SEARCH_DEVICE_INFO> record;
        std::string key;
        bool addedByAddress = false;
    };
    // m_rows[row] is that row's record and state; kept in step with the rows.
    std::vector<Row> m_rows;
    int m_macColumn = -1;
};

}  // namespace ui
