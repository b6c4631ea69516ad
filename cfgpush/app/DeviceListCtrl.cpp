#include "cfgpush/app/DeviceListCtrl.h"

#include <QHeaderView>

#include <cstring>

#include "cfgpush/engine/CfgpushStringIds.h"
#include "common/discovery/VersionText.h"

namespace cfgpush {
namespace {

struct ColumnSpec {
    uint32_t headingId;  // 0: no heading
    int width;           // pixels
};

constexpr ColumnSpec kColumns[DeviceListCtrl::kColumnCount] = {
    {0, 25},
    {ids::kColumnIpAddress, 130},
    {ids::kColumnMac, 130},
    {ids::kColumnDeviceName, 120},
    {ids::kColumnProductType, 120},
    {ids::kColumnSoftwareVersion, 80},
    {ids::kColumnResult, 180},
};

template <size_t N>
QString Local8Bit(const char (&field)[N]) {
    return QString::fromLocal8Bit(field, static_cast<qsizetype>(strnlen(field, N)));
}

}  // namespace

DeviceListCtrl::DeviceListCtrl(QWidget* parent) : QTableWidget(parent) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setWordWrap(false);
    verticalHeader()->hide();
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    // The check-box column is narrower than a style's usual minimum.
    horizontalHeader()->setMinimumSectionSize(16);
}

DeviceListCtrl::~DeviceListCtrl() = default;

void DeviceListCtrl::SetupColumns(const strings::StringTable& texts) {
    setShowGrid(true);
    setColumnCount(kColumnCount);
    QStringList headings;
    for (const ColumnSpec& c : kColumns) {
        headings << (c.headingId == 0 ? QString()
                                      : QString::fromStdString(texts.Load(c.headingId)));
    }
    setHorizontalHeaderLabels(headings);
    for (int column = 0; column < kColumnCount; ++column) {
        setColumnWidth(column, kColumns[column].width);
    }
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    FreeAllRecords();
}

QString DeviceListCtrl::DisplayedMac(const char* mac, size_t capacity) {
    return QString::fromLocal8Bit(mac, static_cast<qsizetype>(strnlen(mac, capacity))).toUpper();
}

int DeviceListCtrl::OnDeviceAnswer(std::unique_ptr<SEARCH_DEVICE_INFO> record) {
    for (int row = 0; row < rowCount(); ++row) {
        if (SameDevice(*m_records[row], *record)) {
            WriteColumns(row, *record);
            std::memcpy(m_records[row].get(), record.get(), sizeof(SEARCH_DEVICE_INFO));
            return row;  // the new record is freed here
        }
    }
    insertRow(0);
    for (int column = 0; column < kColumnCount; ++column) {
        auto* item = new QTableWidgetItem();
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (column == kColCheck) {
            flags |= Qt::ItemIsUserCheckable;
            item->setCheckState(Qt::Unchecked);
        }
        item->setFlags(flags);
        setItem(0, column, item);
    }
    m_records.insert(m_records.begin(), std::move(record));
    WriteColumns(0, *m_records[0]);
    return 0;
}

bool DeviceListCtrl::OnDeviceGone(const char* macText, size_t capacity) {
    const QString wanted = DisplayedMac(macText, capacity);
    for (int row = 0; row < rowCount(); ++row) {
        if (Text(row, kColMac) == wanted) {
            removeRow(row);
            m_records.erase(m_records.begin() + row);
            return true;
        }
    }
    return false;
}

bool DeviceListCtrl::IsChecked(int row) const {
    const QTableWidgetItem* check = item(row, kColCheck);
    return check != nullptr && check->checkState() == Qt::Checked;
}

void DeviceListCtrl::SetChecked(int row, bool checked) {
    if (QTableWidgetItem* check = item(row, kColCheck)) {
        check->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
}

QString DeviceListCtrl::Text(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell != nullptr ? cell->text() : QString();
}

void DeviceListCtrl::SetResultText(int row, const QString& text) {
    SetText(row, kColResult, text);
}

void DeviceListCtrl::FreeAllRecords() {
    setRowCount(0);
    m_records.clear();
}

void DeviceListCtrl::WriteColumns(int row, const SEARCH_DEVICE_INFO& record) {
    SetText(row, kColAddress, Local8Bit(record.ip[0]));
    SetText(row, kColMac, DisplayedMac(record.mac, sizeof record.mac));
    SetText(row, kColName,
            QString::fromUtf8(record.devName, static_cast<qsizetype>(
                                                  strnlen(record.devName, sizeof record.devName))));
    SetText(row, kColModel, Local8Bit(record.productModel));
    char version[sizeof record.softwareVer + 1] = {};
    std::memcpy(version, record.softwareVer, sizeof record.softwareVer);
    char secondMask[sizeof record.mask[1] + 1] = {};
    std::memcpy(secondMask, record.mask[1], sizeof record.mask[1]);
    SetText(
        row, kColVersion,
        QString::fromLocal8Bit(discovery::FormatVersionText(version, record.build, secondMask)));
}

void DeviceListCtrl::SetText(int row, int column, const QString& text) {
    if (QTableWidgetItem* cell = item(row, column)) {
        cell->setText(text);
    }
}

}  // namespace cfgpush
