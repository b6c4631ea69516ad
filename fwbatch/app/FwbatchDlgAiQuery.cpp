// Fwbatch's window: the AI version query of the checked devices and the
// columns that show its versions.
#include "fwbatch/app/FwbatchDlg.h"

#include <QLineEdit>
#include <QPushButton>

#include "fwbatch/app/AiQueryJob.h"
#include "fwbatch/app/DeviceListCtrl.h"
#include "fwbatch/app/FwbatchDlgSupport.h"
#include "fwbatch/engine/FwbatchStringIds.h"
#include "ui/FleetMenu.h"

namespace fwbatch {

using dlg::FieldString;

void CFwbatchDlg::OnGetAiVersion() {
    if (m_aiJob || m_busy) {
        return;  // a query or an upgrade runs
    }
    const std::string userName = m_userNameEdit->text().toStdString();
    const std::string password = m_passwordEdit->text().toStdString();
    std::vector<DEVICE_PARAM> entries;
    {
        std::lock_guard<std::recursive_mutex> lock(m_listLock);
        for (int row = 0; row < m_list->Rows(); ++row) {
            if (m_list->IsChecked(row)) {
                const SEARCH_DEVICE_INFO& record = m_list->Record(row);
                DEVICE_PARAM entry;
                entry.deviceKey = m_list->Key(row);
                entry.firstAddress = FieldString(record.ip[0], sizeof record.ip[0]);
                entry.secondAddress = FieldString(record.ip[1], sizeof record.ip[1]);
                entry.commandPort = static_cast<uint32_t>(record.dataPort);
                entry.userName = userName;
                entry.password = password;
                entries.push_back(std::move(entry));
            }
            m_list->SetText(row, DeviceListCtrl::kColResult, QString());
        }
    }
    if (entries.empty()) {
        ShowMessage(ids::kMsgSelectAiDevice);
        return;
    }
    EnterBusyState(BusyWith::AiQuery);
    Fleet()->RunStarted();
    m_aiJob = std::make_unique<AiQueryJob>(std::move(entries), m_options.ai, m_mailbox);
}

CFwbatchDlg::LRESULT CFwbatchDlg::OnAiVersionResult(uintptr_t wParam, intptr_t lParam) {
    std::unique_ptr<AiQueryResult> result(reinterpret_cast<AiQueryResult*>(lParam));
    if (!result || (wParam != kAiVersionsReceived && wParam != kAiQueryFailed)) {
        return 1;
    }
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    for (int row = 0; row < m_list->Rows(); ++row) {
        if (!m_list->IsChecked(row) || m_list->Key(row) != result->deviceKey) {
            continue;
        }
        if (wParam == kAiVersionsReceived && !result->versions.AllEmpty()) {
            m_list->SetText(row, DeviceListCtrl::kColAiStruct,
                            QString::fromStdString(result->versions.structure));
            m_list->SetText(row, DeviceListCtrl::kColAiFace,
                            QString::fromStdString(result->versions.face));
            m_list->SetText(row, DeviceListCtrl::kColAiVehicle,
                            QString::fromStdString(result->versions.vehicle));
        }
        result->code = static_cast<int>(wParam);
        const QString text = LoadText(AiResultStringId(*result));
        m_list->SetText(row, DeviceListCtrl::kColResult, text);
        ui::DeviceOutcome outcome;
        outcome.code = result->code;
        outcome.result = text;
        outcome.success = wParam == kAiVersionsReceived && !result->versions.AllEmpty();
        Fleet()->NoteResult(row, outcome);
        break;
    }
    return 1;
}

void CFwbatchDlg::OnToggleAiColumns() {
    SetAiColumnsShown(!m_aiColumnsShown);
}

void CFwbatchDlg::SetAiColumnsShown(bool shown) {
    m_list->ShowAiColumns(shown);
    m_aiColumnsShown = shown;
    m_toggleAi->setText(LoadText(shown ? ids::kHideAiColumns : ids::kShowAiColumns));
}

}  // namespace fwbatch
