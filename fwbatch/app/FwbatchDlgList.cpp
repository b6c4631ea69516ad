// Fwbatch's window: the device list. Search answers and gone notices,
// selection by check box, sorting by column, the web page on double-click.
#include "fwbatch/app/FwbatchDlg.h"

#include <QPushButton>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <string>

#include "common/platform/NetworkPlatform.h"
#include "fwbatch/app/DeviceListCtrl.h"
#include "fwbatch/app/FwbatchDlgSupport.h"
#include "ui/DeviceSearchMessage.h"
#include "ui/FleetMenu.h"

namespace fwbatch {
namespace {

using dlg::FieldString;
using dlg::FreePreparationBlock;

// The index of a sortable column among the direction flags, or -1.
int SortSlot(int column) {
    switch (column) {
        case DeviceListCtrl::kColAddress:
            return 0;
        case DeviceListCtrl::kColModel:
            return 1;
        case DeviceListCtrl::kColBuildDate:
            return 2;
        case DeviceListCtrl::kColKernel:
            return 3;
        default:
            return -1;
    }
}

}  // namespace

bool CFwbatchDlg::InBatch(const std::string& rowKey) const {
    if (!m_batch) {
        return false;
    }
    const std::string wanted = rowKey.substr(0, sizeof(_update_Info::deviceKey));
    const auto sameLetter = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    for (size_t i = 0; i < m_batch->Size(); ++i) {
        const std::string key =
            FieldString(m_batch->Record(i).deviceKey, sizeof m_batch->Record(i).deviceKey);
        if (std::equal(key.begin(), key.end(), wanted.begin(), wanted.end(), sameLetter)) {
            return true;
        }
    }
    return false;
}

bool CFwbatchDlg::AnyFinishing() const {
    if (!m_batch) {
        return false;
    }
    for (size_t i = 0; i < m_batch->Size(); ++i) {
        if (m_batch->Record(i).finishing.load()) {
            return true;
        }
    }
    return false;
}

void CFwbatchDlg::OnDeviceAnswer(std::unique_ptr<SEARCH_DEVICE_INFO> record, bool addedByAddress,
                                 const std::string& key) {
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    const bool inBatch = InBatch(key);
    bool added = false;
    const int row = m_list->MergeAnswer(record, key, addedByAddress, added);
    if (added) {
        m_list->Renumber();
    }
    const SEARCH_DEVICE_INFO& shown = added ? m_list->Record(row) : *record;
    m_list->WriteColumns(row, shown, m_texts);
    // While a batch runs its rows keep their build date and their progress.
    if (!m_busy) {
        const QString before = m_list->Text(row, DeviceListCtrl::kColBuildDate);
        const QString after = ui::FieldText(shown.softwareBuildDate);
        m_list->SetText(row, DeviceListCtrl::kColBuildDate, after);
        if (before.compare(after, Qt::CaseInsensitive) != 0 || inBatch) {
            m_list->SetText(row, DeviceListCtrl::kColResult, QString());
        }
    }
    if (!added) {
        m_list->ReplaceRecord(row, *record);
    }
}

void CFwbatchDlg::OnDeviceGone(const char* mac, size_t capacity, const std::string& key) {
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    // A device of the batch may vanish from the search while it reboots
    // into its new image: once any device of the batch is finishing, the
    // batch's rows stay.
    if (InBatch(key) && AnyFinishing()) {
        return;
    }
    ui::DeviceWindow::OnDeviceGone(mac, capacity, key);
}

void CFwbatchDlg::OnCheckBoxClicked(int /*row*/) {
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    bool any = false;
    bool same = true;
    std::string type;
    for (int row = 0; row < m_list->Rows(); ++row) {
        if (!m_list->IsChecked(row)) {
            continue;
        }
        const SEARCH_DEVICE_INFO& record = m_list->Record(row);
        const std::string model = FieldString(record.productModel, sizeof record.productModel);
        if (!any) {
            type = model;
            any = true;
        } else if (model != type) {
            same = false;
        }
    }
    const bool enable = any && same;
    m_chooseSameType->setEnabled(enable);
    if (enable) {
        m_selectedProductType = type;
    }
}

void CFwbatchDlg::OnAllChecked(bool /*checked*/) {
    m_chooseSameType->setEnabled(false);
}

void CFwbatchDlg::OnChooseSameType() {
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    for (int row = 0; row < m_list->Rows(); ++row) {
        const SEARCH_DEVICE_INFO& record = m_list->Record(row);
        if (FieldString(record.productModel, sizeof record.productModel) == m_selectedProductType) {
            m_list->SetChecked(row, true);
        }
    }
}

void CFwbatchDlg::OnColumnClick(int column) {
    const int slot = SortSlot(column);
    if (slot < 0 || m_busy) {
        return;
    }
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    m_list->SortByColumn(column, m_sortAscending[slot]);
    m_sortAscending[slot] = !m_sortAscending[slot];
}

void CFwbatchDlg::OnDblClickDevice(int row) {
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    if (row < 0 || row >= m_list->Rows()) {
        return;
    }
    PreparedDevice device;
    device.index = row;
    device.device = m_list->Record(row);
    const std::shared_ptr<ui::WindowMailbox> mailbox = m_mailbox;
    m_webPreparations.push_back(std::make_unique<AdapterJob>(
        m_nextJobId++, std::vector<PreparedDevice>{device}, true, m_options.adapterEnv,
        [mailbox](std::unique_ptr<PreparationResult> result) {
            mailbox->Post(msg::WM_ADAPTERS_PREPARED, 0,
                          reinterpret_cast<intptr_t>(result.release()), &FreePreparationBlock);
        }));
}

}  // namespace fwbatch
