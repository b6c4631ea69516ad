// Cfgpush's window: the push. One worker per checked row, the busy state
// while they run, and each device's result written to its rows by MAC.
#include "cfgpush/app/CfgpushDlg.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstring>
#include <string_view>

#include "cfgpush/app/DeviceListCtrl.h"
#include "cfgpush/engine/CfgpushStringIds.h"
#include "cfgpush/engine/PushResult.h"
#include "cfgpush/engine/PushTargetFromRecord.h"
#include "discovery/WindowMessages.h"
#include "ui/BusyAnimation.h"
#include "ui/FleetMenu.h"

namespace cfgpush {

void CCfgpushDlg::OnSetDefaultConfig() {
    if (m_busy) {
        return;
    }
    m_jobs.Clear();
    m_userName = m_userNameEdit->text();
    m_password = m_passwordEdit->text();

    const int rows = m_list->Rows();
    bool anyChecked = false;
    for (int row = 0; row < rows && !anyChecked; ++row) {
        anyChecked = m_list->IsChecked(row);
    }
    if (!anyChecked) {
        ShowMessage(ids::kMsgSelectDevice);
        return;
    }
    if (m_productType->currentText().isEmpty()) {
        ShowMessage(ids::kMsgImportFileFirst);
        return;
    }
    const auto entryNumber = static_cast<int32_t>(m_productType->currentData().toInt());
    if (!BuildItemLists(m_package, entryNumber, m_itemLists)) {
        ShowMessage(ids::kMsgFileIncorrect);
        return;
    }

    // Every worker of the previous push has reported, and reporting is its
    // last act: joining them now takes no time and keeps finished threads
    // from piling up over a long session.
    m_workers.JoinAll();
    SetPushing(true);
    Fleet()->RunStarted();
    // Each job gets its own copy of the credentials: a worker never reads
    // the window.
    const std::string userName = LowBytes(m_userName);
    const std::string password = LowBytes(m_password);
    const std::shared_ptr<ui::WindowMailbox> mailbox = m_mailbox;
    for (int row = 0; row < rows; ++row) {
        if (m_list->IsChecked(row)) {
            const PushTarget target = PushTargetFromRecord(m_list->Record(row));
            _file_cfg_info job;
            const bool made =
                MakePushJob(row, target, userName, password, m_itemLists, m_package, job);
            // The result finds the device's rows again by the row's key.
            m_jobs.Add(row, m_list->Key(row));
            if (made) {
                m_workers.Start(
                    std::move(job),
                    [mailbox](int rowIndex, int code) {
                        mailbox->Post(winmsg::WM_PUSH_RESULT, static_cast<uintptr_t>(rowIndex),
                                      code);
                    },
                    m_options.push);
            } else {
                // No payload could be built: the row fails like a refused push.
                const int code = IsVersion3Software(target.softwareVersion) ? kPushVersion3Failed
                                                                            : kPushVersion4Failed;
                mailbox->Post(winmsg::WM_PUSH_RESULT, static_cast<uintptr_t>(row), code);
            }
        }
        m_list->SetResultText(row, QString());
    }
}

CCfgpushDlg::LRESULT CCfgpushDlg::OnPushResult(uintptr_t wParam, intptr_t lParam) {
    const auto rowIndex = static_cast<int32_t>(wParam);
    const auto code = static_cast<int>(lParam);
    const QString text = LoadText(PushResultStringId(code));
    // Rows move while a push runs (new devices come in at the top): the
    // result goes to every row of the job's device, found by its key (the
    // MAC text of a searched device).
    if (const PushJobList::Entry* job = m_jobs.Report(rowIndex)) {
        for (int row = 0; row < m_list->Rows(); ++row) {
            if (m_list->Key(row) == job->key) {
                m_list->SetResultText(row, text);
                ui::DeviceOutcome outcome;
                outcome.code = code;
                outcome.result = text;
                outcome.success = code == kPushSuccess;
                Fleet()->NoteResult(row, outcome);
            }
        }
    }
    // The push is over when every job of it has reported, whatever rows
    // were checked or unchecked meanwhile.
    if (m_busy && m_jobs.Complete()) {
        SetPushing(false);
        Fleet()->RunEnded();
    }
    return 1;
}

// While a push runs the buttons rest; the list, its check boxes and the
// edits stay usable.
void CCfgpushDlg::SetPushing(bool pushing) {
    SetBusy(pushing, {m_browse, m_setDefault, m_selectAll, m_clearAll});
}

}  // namespace cfgpush
