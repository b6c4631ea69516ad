#include "fwbatch/app/DeviceListCtrl.h"

#include <QMouseEvent>

#include <algorithm>
#include <cstring>
#include <numeric>

#include "common/platform/ByteOrder.h"
#include "common/platform/NetworkPlatform.h"
#include "discovery/VersionText.h"
#include "fwbatch/engine/FwbatchStringIds.h"

namespace fwbatch {
namespace {

// The first address as a number in host byte order; one that does not
// parse sorts as 255.255.255.255, as inet_addr reports it.
uint32_t AddressKey(const SEARCH_DEVICE_INFO& record) {
    uint32_t value = 0;
    if (!platform::ParseIPv4(std::string(record.ip[0], strnlen(record.ip[0], sizeof record.ip[0])),
                             value)) {
        return 0xFFFFFFFFu;
    }
    return byteorder::NetworkToHost32(value);
}

template <size_t N>
int CompareField(const char (&a)[N], const char (&b)[N]) {
    return std::strncmp(a, b, N);
}

int CompareBy(int column, const SEARCH_DEVICE_INFO& a, const SEARCH_DEVICE_INFO& b) {
    switch (column) {
        case DeviceListCtrl::kColAddress: {
            const uint32_t x = AddressKey(a);
            const uint32_t y = AddressKey(b);
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        case DeviceListCtrl::kColModel:
            return CompareField(a.productModel, b.productModel);
        case DeviceListCtrl::kColBuildDate:
            return CompareField(a.softwareBuildDate, b.softwareBuildDate);
        case DeviceListCtrl::kColKernel:
            return CompareField(a.kernelVer, b.kernelVer);
        default:
            return 0;
    }
}

}  // namespace

DeviceListCtrl::DeviceListCtrl(QWidget* parent) : ui::DeviceTable(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* changed) {
        if (m_mouseClick && changed->column() == kColCheck && m_clicked) {
            m_clicked(changed->row());
        }
    });
}

void DeviceListCtrl::SetupColumns(const strings::StringTable& texts) {
    ui::DeviceTable::SetupColumns({{0, 25},
                                   {ids::kColumnIndex, 45},
                                   {ids::kColumnCameraName, 95},
                                   {ids::kColumnIpAddress, 110},
                                   {ids::kColumnMac, 125},
                                   {ids::kColumnProductType, 95},
                                   {ids::kColumnSoftwareVersion, 115},
                                   {ids::kColumnBuildDate, 90},
                                   {ids::kColumnKernelVersion, 85},
                                   {ids::kColumnActiveState, 85},
                                   {ids::kColumnAiStruct, 0},
                                   {ids::kColumnAiFace, 0},
                                   {ids::kColumnAiVehicle, 0},
                                   {ids::kColumnAiMatchFace, 0},
                                   {ids::kColumnResult, 230}},
                                  kColMac, texts);
}

void DeviceListCtrl::WriteColumns(int row, const SEARCH_DEVICE_INFO& record,
                                  const strings::StringTable& texts) {
    SetText(row, kColIndex, QString::number(row + 1));
    SetText(row, kColName, ui::Utf8FieldText(record.devName));
    SetText(row, kColAddress, ui::FieldText(record.ip[0]));
    SetText(row, kColMac, DisplayedMac(record.mac, sizeof record.mac));
    SetText(row, kColModel, ui::FieldText(record.productModel));
    char version[sizeof record.softwareVer + 1] = {};
    std::memcpy(version, record.softwareVer, sizeof record.softwareVer);
    char secondMask[sizeof record.mask[1] + 1] = {};
    std::memcpy(secondMask, record.mask[1], sizeof record.mask[1]);
    SetText(row, kColVersion,
            QString::fromLocal8Bit(discovery::FormatVersionText(version, record.build, secondMask)));
    SetText(row, kColKernel, ui::FieldText(record.kernelVer));
    QString active;
    if (record.deviceActivated == 0) {
        active = QString::fromStdString(texts.Load(ids::kActivated));
    } else if (record.deviceActivated == 1) {
        active = QString::fromStdString(texts.Load(ids::kNotActivated));
    }
    SetText(row, kColActiveState, active);
}

void DeviceListCtrl::Renumber() {
    for (int row = 0; row < rowCount(); ++row) {
        SetText(row, kColIndex, QString::number(row + 1));
    }
}

void DeviceListCtrl::ShowAiColumns(bool shown) {
    for (int column : {kColAiStruct, kColAiFace, kColAiVehicle}) {
        setColumnWidth(column, shown ? kAiColumnWidth : 0);
    }
}

bool DeviceListCtrl::SortByColumn(int column, bool ascending) {
    if (column != kColAddress && column != kColModel && column != kColBuildDate &&
        column != kColKernel) {
        return false;
    }
    std::vector<int> order(static_cast<size_t>(Rows()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int c = CompareBy(column, Record(a), Record(b));
        return ascending ? c < 0 : c > 0;
    });
    Reorder(order);
    return true;
}

void DeviceListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    // A check box changes on the release of a click on it.
    m_mouseClick = true;
    ui::DeviceTable::mouseReleaseEvent(event);
    m_mouseClick = false;
}

void DeviceListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    m_mouseClick = true;
    ui::DeviceTable::mouseDoubleClickEvent(event);
    m_mouseClick = false;
}

}  // namespace fwbatch
