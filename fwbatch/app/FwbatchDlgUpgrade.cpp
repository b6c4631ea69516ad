// Fwbatch's window: the upgrade batch. The package chosen with Browse, the
// checked devices' adapters prepared, the workers started, and each
// device's progress and result written to its row.
#include "fwbatch/app/FwbatchDlg.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/platform/Diagnostics.h"
#include "common/platform/NetworkPlatform.h"
#include "discovery/VersionText.h"
#include "discovery/WindowMessages.h"
#include "fwbatch/app/DeviceListCtrl.h"
#include "fwbatch/app/FwbatchDlgSupport.h"
#include "fwbatch/engine/FwbatchStringIds.h"
#include "fwbatch/engine/UpgradeResult.h"
#include "ui/BusyAnimation.h"
#include "ui/FleetMenu.h"
#include "ui/QtTexts.h"

namespace fwbatch {

using dlg::FreePreparationBlock;
using dlg::FreeVersionsBlock;
using dlg::FieldString;
using dlg::KeyMatches;

void CFwbatchDlg::OnBrowse() {
    // The table's filter is in the Windows form ("desc|patterns||").
    const QString path =
        m_chooseFile ? m_chooseFile(this, ui::QtFileFilter(LoadText(ids::kFileFilter))) : QString();
    if (!path.isEmpty()) {
        OnFileChosen(path);
    }
}

void CFwbatchDlg::OnFileChosen(const QString& path) {
    m_packagePath = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    m_pathEdit->setText(m_packagePath);
}

void CFwbatchDlg::OnUpgrade() {
    if (m_busy) {
        return;
    }
    if (m_packagePath.isEmpty()) {
        ShowMessage(ids::kMsgSelectFile);
        return;
    }
    // The checked devices as they are now; rows may move while adapters
    // are prepared, so each device is found again by its MAC text.
    std::vector<PreparedDevice> devices;
    {
        std::lock_guard<std::recursive_mutex> lock(m_listLock);
        for (int row = 0; row < m_list->Rows(); ++row) {
            if (m_list->IsChecked(row)) {
                PreparedDevice d;
                d.index = row;
                d.device = m_list->Record(row);
                d.key = m_list->Key(row);
                devices.push_back(d);
            }
            m_list->SetText(row, DeviceListCtrl::kColResult, QString());
            m_list->SetToolTip(row, DeviceListCtrl::kColResult, QString());
        }
    }
    if (devices.empty()) {
        ShowMessage(ids::kMsgSelectDevice);
        return;
    }
    if (devices.size() > UpgradeBatch::kMaxParallel) {
        ShowMessage(ids::kMsgTooManyDevices);
        return;
    }

    EnterBusyState(BusyWith::Upgrade);
    Fleet()->RunStarted();
    m_upgradeFindings.clear();
    auto settings = std::make_shared<UpgradeSettings>();
    settings->type = m_upgradeType->currentIndex();
    settings->userName = m_userNameEdit->text().toStdString();
    settings->password = m_passwordEdit->text().toStdString();
    settings->verify = m_verify->isChecked();
    QFile file(m_packagePath);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessage(ids::kResultOpenFileFailed);
        LeaveBusyState();
        return;
    }
    // Straight into the batch's buffer, one copy: packages of tens of MiB
    // are read here, on the window's thread.
    const qint64 size = file.size();
    if (size > 0) {
        settings->package.resize(static_cast<size_t>(size));
        const qint64 got = file.read(reinterpret_cast<char*>(settings->package.data()), size);
        settings->package.resize(static_cast<size_t>(std::max<qint64>(got, 0)));
    } else {
        const QByteArray bytes = file.readAll();  // no size known: read what there is
        settings->package.assign(bytes.begin(), bytes.end());
    }
    m_pendingSettings = std::move(settings);

    // Adapters are prepared off the window's thread; the batch starts when
    // every device is prepared.
    const std::shared_ptr<ui::WindowMailbox> mailbox = m_mailbox;
    m_upgradePreparation = std::make_unique<AdapterJob>(
        m_nextJobId++, std::move(devices), false, m_options.adapterEnv,
        [mailbox](std::unique_ptr<PreparationResult> result) {
            mailbox->Post(msg::WM_ADAPTERS_PREPARED, 0,
                          reinterpret_cast<intptr_t>(result.release()), &FreePreparationBlock);
        });
}

void CFwbatchDlg::OnAdaptersPrepared(std::unique_ptr<PreparationResult> result) {
    // A device needed an address this user may not add: say whom to ask.
    if (std::any_of(result->devices.begin(), result->devices.end(),
                    [](const PreparedDevice& d) { return d.refusedForRights; })) {
        ShowMessage(ids::kMsgAdapterGroup);
    }
    if (m_upgradePreparation && result->jobId == m_upgradePreparation->Id()) {
        m_upgradePreparation.reset();  // its worker has reported: joined at once
        StartBatch(*result);
        return;
    }
    for (auto it = m_webPreparations.begin(); it != m_webPreparations.end(); ++it) {
        if ((*it)->Id() != result->jobId) {
            continue;
        }
        m_webPreparations.erase(it);
        if (result->devices.empty()) {
            return;
        }
        const PreparedDevice& d = result->devices.front();
        // No address from the preparation (a record without a usable mask,
        // such as a device added by address): the device's own address,
        // never 0.0.0.0.
        QString host = QString::fromStdString(platform::FormatIPv4(d.addressToUse));
        if (d.addressToUse == 0) {
            host = d.device.ip[1][0] != '\0' ? ui::FieldText(d.device.ip[1]) : ui::FieldText(d.device.ip[0]);
        }
        uint32_t parsed = 0;
        if (!platform::ParseIPv4(host.toStdString(), parsed) || !platform::IsDeviceIPv4(parsed)) {
            // No address to open: http://0.0.0.0 would be this PC's own page.
            platform::DiagPrintf("web page: the device has no usable address\n");
            return;
        }
        const QString url = d.device.httpPort == 80
                                ? QStringLiteral("http://%1").arg(host)
                                : QStringLiteral("http://%1:%2").arg(host).arg(d.device.httpPort);
        if (m_openUrl) {
            m_openUrl(QUrl(url));
        }
        return;
    }
}

void CFwbatchDlg::StartBatch(const PreparationResult& prepared) {
    const std::shared_ptr<ui::WindowMailbox> mailbox = m_mailbox;
    {
        std::lock_guard<std::recursive_mutex> lock(m_listLock);
        FreeUpdateRecords();
        m_batch = std::make_unique<UpgradeBatch>(
            std::move(m_pendingSettings),
            [mailbox](int index, int percent) {
                mailbox->Post(winmsg::WM_UPGRADE_PROGRESS, static_cast<uintptr_t>(index), percent);
            },
            [mailbox](int index, const UpgradeReport& report) {
                auto versions = std::make_unique<msg::UpgradeVersions>();
                versions->before = report.versionBefore;
                versions->after = report.versionAfter;
                versions->attempts = report.attempts;
                versions->seconds = report.seconds;
                mailbox->Post(msg::WM_UPGRADE_VERSIONS, static_cast<uintptr_t>(index),
                              reinterpret_cast<intptr_t>(versions.release()), &FreeVersionsBlock);
                mailbox->Post(winmsg::WM_UPGRADE_RESULT, static_cast<uintptr_t>(index), report.code);
            },
            m_options.upgrade);
        for (const PreparedDevice& d : prepared.devices) {
            // Found again by the row's key: the MAC text of a searched device.
            std::unique_ptr<_update_Info> record = MakeUpdateRecord(d.index, d.device);
            std::memset(record->deviceKey, 0, sizeof record->deviceKey);
            std::memcpy(record->deviceKey, d.key.data(), std::min(d.key.size(), sizeof record->deviceKey));
            m_batch->Add(std::move(record));
        }
    }
    m_batch->Start();
}

void CFwbatchDlg::FreeUpdateRecords() {
    // Joins the workers: each has reported already unless the window is
    // closing, when they were cancelled.
    m_batch.reset();
}

CFwbatchDlg::LRESULT CFwbatchDlg::OnUpgradeProgress(uintptr_t wParam, intptr_t lParam) {
    const auto index = static_cast<int>(wParam);
    char text[16];
    std::snprintf(text, sizeof text, "%d%%", static_cast<int>(lParam));
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    if (!m_batch) {
        return 1;  // late: its batch is gone
    }
    for (size_t i = 0; i < m_batch->Size(); ++i) {
        const _update_Info& record = m_batch->Record(i);
        if (record.index != index) {
            continue;
        }
        if (record.done) {
            return 1;  // after the device's result
        }
        for (int row = 0; row < m_list->Rows(); ++row) {
            if (KeyMatches(record.deviceKey, m_list->Key(row))) {
                if (m_list->IsChecked(row)) {
                    m_list->SetText(row, DeviceListCtrl::kColResult, QString::fromLatin1(text));
                }
                break;
            }
        }
        return 1;
    }
    return 1;
}

CFwbatchDlg::LRESULT CFwbatchDlg::OnUpgradeResult(uintptr_t wParam, intptr_t lParam) {
    const auto index = static_cast<int>(wParam);
    const QString text = LoadText(UpgradeResultStringId(static_cast<int>(lParam)));
    bool complete = false;
    {
        std::lock_guard<std::recursive_mutex> lock(m_listLock);
        if (!m_batch) {
            return 1;  // late: its batch is gone
        }
        std::vector<std::string> keys;
        for (size_t i = 0; i < m_batch->Size(); ++i) {
            const _update_Info& record = m_batch->Record(i);
            if (record.index == index && !record.done) {
                keys.push_back(FieldString(record.deviceKey, sizeof record.deviceKey));
            }
        }
        if (keys.empty()) {
            return 1;  // not of this batch, or already counted
        }
        m_batch->MarkDone(index);
        ui::DeviceOutcome outcome;
        outcome.code = static_cast<int>(lParam);
        outcome.result = text;
        outcome.success = outcome.code == kUpgradeSuccess;
        if (const auto found = m_upgradeFindings.find(index); found != m_upgradeFindings.end()) {
            outcome.attempts = found->second.attempts;
            outcome.seconds = found->second.seconds;
            outcome.versionBefore = found->second.before;
            outcome.versionAfter = found->second.after;
            m_upgradeFindings.erase(found);
        }
        for (const std::string& key : keys) {
            for (int row = 0; row < m_list->Rows(); ++row) {
                if (m_list->IsChecked(row) && KeyMatches(key, m_list->Key(row))) {
                    m_list->SetText(row, DeviceListCtrl::kColResult, text);
                    m_list->SetChecked(row, false);
                    Fleet()->NoteResult(row, outcome);
                }
            }
        }
        complete = m_batch->Complete();
    }
    if (complete) {
        FreeUpdateRecords();
        LeaveBusyState();
        Fleet()->RunEnded();
    }
    return 1;
}

void CFwbatchDlg::OnUpgradeVersions(uintptr_t index, const msg::UpgradeVersions& versions) {
    const auto versionText = [](uint32_t word) {
        return word == 0 ? QStringLiteral("-") : QString::fromStdString(discovery::SoftwareVersionText(word));
    };
    const QString tip = versions.after != 0
                            ? versionText(versions.before) + QStringLiteral(" \u2192 ") + versionText(versions.after)
                            : versionText(versions.before);
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    if (!m_batch) {
        return;  // late: its batch is gone
    }
    m_upgradeFindings[static_cast<int>(index)] = versions;
    if (versions.before == 0) {
        return;  // no login: nothing to show
    }
    for (size_t i = 0; i < m_batch->Size(); ++i) {
        const _update_Info& record = m_batch->Record(i);
        if (record.index != static_cast<int>(index) || record.done) {
            continue;
        }
        for (int row = 0; row < m_list->Rows(); ++row) {
            if (KeyMatches(record.deviceKey, m_list->Key(row))) {
                m_list->SetToolTip(row, DeviceListCtrl::kColResult, tip);
            }
        }
    }
}

// An upgrade batch and the AI query each keep the other out, and the
// selection with them: both report into the checked rows' Result cells.
// During a batch the AI button keeps its look (no click reaches it, and its
// handler refuses while busy); during the query it rests.
void CFwbatchDlg::EnterBusyState(BusyWith what) {
    SetBusy(true, {m_browse, m_upgradeType, m_selectAll, m_clearAll, m_chooseSameType, m_upgrade, m_list, m_verify},
            what == BusyWith::Upgrade);  // "Upgrading, Please wait...."
    m_getAiVersion->setEnabled(what != BusyWith::AiQuery);
}

void CFwbatchDlg::LeaveBusyState() {
    SetBusy(false, {m_browse, m_upgradeType, m_selectAll, m_clearAll, m_chooseSameType, m_upgrade, m_list, m_verify,
                    m_getAiVersion});
}

}  // namespace fwbatch
