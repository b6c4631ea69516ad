#include "ui/DeviceTable.h"

#include <QHeaderView>

#include "discovery/DeviceLookup.h"

namespace ui {

DeviceTable::DeviceTable(QWidget* parent) : QTableWidget(parent) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setWordWrap(false);
    verticalHeader()->hide();
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    // The check-box column is narrower than a style's usual minimum, and
    // Fwbatch hides columns by giving them no width.
    horizontalHeader()->setMinimumSectionSize(0);
}

DeviceTable::~DeviceTable() = default;

void DeviceTable::SetupColumns(const std::vector<ColumnSpec>& columns, int macColumn,
                               const strings::StringTable& texts) {
    m_macColumn = macColumn;
    setShowGrid(true);
    setColumnCount(static_cast<int>(columns.size()));
    QStringList headings;
    for (const ColumnSpec& c : columns) {
        headings << (c.headingId == 0 ? QString()
                                      : QString::fromStdString(texts.Load(c.headingId)));
    }
    setHorizontalHeaderLabels(headings);
    for (size_t column = 0; column < columns.size(); ++column) {
        setColumnWidth(static_cast<int>(column), columns[column].width);
    }
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    FreeAllRecords();
}

QString DeviceTable::DisplayedMac(const char* mac, size_t capacity) {
    return QString::fromLocal8Bit(mac, static_cast<qsizetype>(strnlen(mac, capacity))).toUpper();
}

int DeviceTable::FindKey(const std::string& key) const {
    for (int row = 0; row < Rows(); ++row) {
        if (Key(row) == key) {
            return row;
        }
    }
    return -1;
}

int DeviceTable::FindShownMac(const char* mac, size_t capacity) const {
    const QString shown = DisplayedMac(mac, capacity);
    return shown.isEmpty() ? -1 : FindText(m_macColumn, shown);
}

int DeviceTable::MergeAnswer(std::unique_ptr<SEARCH_DEVICE_INFO>& record, const std::string& key,
                             bool addedByAddress, bool& inserted) {
    const int row = FindKey(key);
    inserted = row < 0;
    if (inserted) {
        InsertTop(std::move(record), key, addedByAddress);
        return 0;
    }
    return row;
}

int DeviceTable::FindText(int column, const QString& text) const {
    for (int row = 0; row < rowCount(); ++row) {
        if (Text(row, column) == text) {
            return row;
        }
    }
    return -1;
}

void DeviceTable::InsertTop(std::unique_ptr<SEARCH_DEVICE_INFO> record, const std::string& key,
                            bool addedByAddress) {
    insertRow(0);
    for (int column = 0; column < columnCount(); ++column) {
        auto* item = new QTableWidgetItem();
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (column == 0) {
            flags |= Qt::ItemIsUserCheckable;
            item->setCheckState(Qt::Unchecked);
        }
        item->setFlags(flags);
        setItem(0, column, item);
    }
    m_rows.insert(m_rows.begin(), Row{std::move(record), key, addedByAddress});
}

void DeviceTable::ReplaceRecord(int row, const SEARCH_DEVICE_INFO& record) {
    std::memcpy(m_rows.at(static_cast<size_t>(row)).record.get(), &record, sizeof(SEARCH_DEVICE_INFO));
}

void DeviceTable::RemoveDeviceRow(int row) {
    removeRow(row);
    m_rows.erase(m_rows.begin() + row);
}

void DeviceTable::Reorder(const std::vector<int>& order) {
    const int rows = rowCount();
    const int columns = columnCount();
    if (static_cast<int>(order.size()) != rows) {
        return;
    }
    std::vector<std::vector<QTableWidgetItem*>> items(static_cast<size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            items[static_cast<size_t>(row)].push_back(takeItem(row, column));
        }
    }
    std::vector<Row> reordered(m_rows.size());
    for (int place = 0; place < rows; ++place) {
        const auto from = static_cast<size_t>(order[static_cast<size_t>(place)]);
        for (int column = 0; column < columns; ++column) {
            setItem(place, column, items[from][static_cast<size_t>(column)]);
        }
        reordered[static_cast<size_t>(place)] = std::move(m_rows[from]);
    }
    m_rows = std::move(reordered);
}

bool DeviceTable::IsChecked(int row) const {
    const QTableWidgetItem* check = item(row, 0);
    return check != nullptr && check->checkState() == Qt::Checked;
}

void DeviceTable::SetChecked(int row, bool checked) {
    if (QTableWidgetItem* check = item(row, 0)) {
        check->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
}

QString DeviceTable::Text(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell != nullptr ? cell->text() : QString();
}

void DeviceTable::SetText(int row, int column, const QString& text) {
    if (QTableWidgetItem* cell = item(row, column)) {
        cell->setText(text);
    }
}

void DeviceTable::SetToolTip(int row, int column, const QString& text) {
    if (QTableWidgetItem* cell = item(row, column)) {
        cell->setToolTip(text);
    }
}

void DeviceTable::FreeAllRecords() {
    setRowCount(0);
    m_rows.clear();
}

}  // namespace ui
