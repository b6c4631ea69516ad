#pragma once
// Fwbatch's main window (template 102): the device list that the search
// fills, selection by check box, "Select All", "Clear All" and "Choose all
// from same type", sorting by column, the web page on double-click, the
// upgrade batch with progress and one result per device, and the AI
// version query with its columns.
//
// Only the window's thread touches the controls, the rows and their
// records, the batch records and the package. The search callback, the
// upgrade workers, the AI query worker and adapter preparation reach the
// window only through its mailbox, as posted messages; once the window has
// shut down, the mailbox refuses them and frees what they carry. The window
// owns those workers: closing it cancels them and waits for them.

#include <QCheckBox>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/DeviceDiscovery.h"
#include "fwbatch/adapter/AdapterEnv.h"
#include "fwbatch/app/AdapterJob.h"
#include "fwbatch/app/FwbatchMessages.h"
#include "fwbatch/engine/AiQuery.h"
#include "fwbatch/engine/UpgradeBatch.h"
#include "fwbatch/engine/UpgradeWorker.h"
#include "strings/StringTable.h"
#include "discovery/DeviceLookup.h"
#include "ui/DeviceWindow.h"

class QAction;
class QComboBox;

namespace fwbatch {

class AiQueryJob;
class DeviceListCtrl;

struct FwbatchDlgOptions : ui::DeviceWindowOptions {
    FwbatchDlgOptions() { programName = QStringLiteral("fwbatch"); }
    UpgradeOptions upgrade;
    AiQueryOptions ai;
    adapter::AdapterEnv adapterEnv;
};

class CFwbatchDlg : public ui::DeviceWindow {
public:
    static constexpr int kAboutCommand = 0x0010;

    // Builds the window and runs its start: controls, texts, the device
    // list, the busy animation, then the search, the network watch and the
    // link-local route.
    explicit CFwbatchDlg(FwbatchDlgOptions options = {}, QWidget* parent = nullptr);
    ~CFwbatchDlg() override;

    // Message and command handlers.
    LRESULT OnUpgradeProgress(uintptr_t wParam, intptr_t lParam);
    LRESULT OnUpgradeResult(uintptr_t wParam, intptr_t lParam);
    // The versions a verified upgrade found, shown as the result cell's tip.
    void OnUpgradeVersions(uintptr_t index, const msg::UpgradeVersions& versions);
    LRESULT OnAiVersionResult(uintptr_t wParam, intptr_t lParam);
    void OnCheckBoxClicked(int row);
    void OnChooseSameType();
    void OnColumnClick(int column);
    void OnDblClickDevice(int row);
    void OnBrowse() override;
    void OnUpgrade();
    void OnGetAiVersion();
    void OnToggleAiColumns();
    void OnSysCommand(int command);

    // What Browse does once the operator has chosen a file.
    void OnFileChosen(const QString& path);

    bool AiQueryRunning() const { return m_aiJob != nullptr; }
    bool Preparing() const { return m_upgradePreparation != nullptr; }
    bool BatchExists() const { return m_batch != nullptr; }
    const UpgradeBatch* Batch() const { return m_batch.get(); }
    bool AiColumnsShown() const { return m_aiColumnsShown; }
    DeviceListCtrl& DeviceList() const { return *m_list; }
    const QString& PackagePath() const { return m_packagePath; }
    QAction* AboutAction() const { return m_aboutAction; }
    // "v%d.%d.%d.%d" of the build.
    static QString VersionText();

    // The open-file dialog and the web browser; tests replace them. The
    // filter is in Qt's form.
    using FileChooser = std::function<QString(QWidget* parent, const QString& filter)>;
    static QString ChoosePackageFile(QWidget* parent, const QString& filter);
    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    using UrlOpener = std::function<bool(const QUrl& url)>;
    void SetUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    // The About box; tests replace it (it is modal).
    using AboutShower = std::function<void(QWidget* parent)>;
    void SetAboutShower(AboutShower shower) { m_showAbout = std::move(shower); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void OnInitDialog();
    void OnDeviceAnswer(std::unique_ptr<SEARCH_DEVICE_INFO> record, bool addedByAddress,
                        const std::string& key) override;
    void OnDeviceGone(const char* mac, size_t capacity, const std::string& key) override;
    void Credentials(std::string& user, std::string& password) const override;
    void OnWindowMessage(ui::WindowMessageEvent& message) override;
    void OnChecksChanged() override { OnCheckBoxClicked(0); }
    void OnAllChecked(bool checked) override;
    void StopWorkers() override;
    void OnAdaptersPrepared(std::unique_ptr<PreparationResult> result);
    void StartBatch(const PreparationResult& prepared);
    void FreeUpdateRecords();
    // A device of the current batch, by its row key (case does not matter).
    bool InBatch(const std::string& rowKey) const;
    bool AnyFinishing() const;
    enum class BusyWith { Upgrade, AiQuery };
    void EnterBusyState(BusyWith what);
    void LeaveBusyState();
    void SetAiColumnsShown(bool shown);
    void DefaultAbout(QWidget* parent);

    FwbatchDlgOptions m_options;
    bool m_aiColumnsShown = false;

    // The program's own controls (owned by Qt's parent chain).
    DeviceListCtrl* m_list = nullptr;
    QPushButton* m_chooseSameType = nullptr;
    QPushButton* m_getAiVersion = nullptr;
    QPushButton* m_toggleAi = nullptr;
    QComboBox* m_upgradeType = nullptr;
    QPushButton* m_upgrade = nullptr;
    QCheckBox* m_verify = nullptr;  // not in the template: placed beside the upgrade type
    QAction* m_aboutAction = nullptr;

    // The operator's choices.
    QString m_packagePath;
    std::string m_selectedProductType;
    bool m_sortAscending[4] = {true, true, true, true};  // columns 3, 5, 7, 8

    // The batch: adapter preparation first, then the workers. The batch
    // exists from its start until every device has reported.
    std::shared_ptr<UpgradeSettings> m_pendingSettings;
    std::unique_ptr<AdapterJob> m_upgradePreparation;
    std::unique_ptr<UpgradeBatch> m_batch;
    // Double-clicks waiting for their adapter preparation.
    std::vector<std::unique_ptr<AdapterJob>> m_webPreparations;
    uint64_t m_nextJobId = 1;
    // What each device's upgrade found, by batch index, until its result.
    std::map<int, msg::UpgradeVersions> m_upgradeFindings;
    std::unique_ptr<AiQueryJob> m_aiJob;

    FileChooser m_chooseFile;
    UrlOpener m_openUrl;
    AboutShower m_showAbout;
};

}  // namespace fwbatch
