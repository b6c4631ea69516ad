#pragma once
// Cfgpush's main window (template 102): the device list that the search
// fills, the package loaded with Browse and its logo preview, the device
// user name and password, and the push with one result per device row.
//
// Only the window's thread touches the controls, the rows and their
// records, the loaded package and the job list. The search callback and
// the push workers reach the window only through its mailbox, as posted
// WM_DEVICE_SEARCH and WM_PUSH_RESULT messages; once the window has shut
// down, the mailbox refuses them and frees what they carry.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cfgpush/app/PushJobList.h"
#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/FactoryItems.h"
#include "cfgpush/engine/PushWorker.h"
#include "discovery/DeviceDiscovery.h"
#include "discovery/DeviceLookup.h"
#include "strings/StringTable.h"
#include "ui/DeviceWindow.h"

class QComboBox;

namespace cfgpush {

class DeviceListCtrl;
class LogoFrame;

struct CfgpushDlgOptions : ui::DeviceWindowOptions {
    CfgpushDlgOptions() { programName = QStringLiteral("cfgpush"); }
    PushOptions push;
};

class CCfgpushDlg : public ui::DeviceWindow {
public:
    // Builds the window and runs its start: controls, texts, the device
    // list, the busy animation, then the search, the network watch and the
    // link-local route. `workers` runs the push workers and must outlive
    // them (the application object keeps it).
    explicit CCfgpushDlg(PushWorkerGroup& workers, CfgpushDlgOptions options = {},
                         QWidget* parent = nullptr);
    ~CCfgpushDlg() override;

    // Message and command handlers.
    LRESULT OnPushResult(uintptr_t wParam, intptr_t lParam);
    void OnBrowse() override;
    void OnSetDefaultConfig();
    void OnLogoSelChange();

    // What Browse does once the operator has chosen a file: keep and show
    // the path, load the package, preview the title logo.
    void OnFileChosen(const QString& path);

    DeviceListCtrl& DeviceList() const { return *m_list; }
    LogoFrame& Logo() const { return *m_logo; }
    const FacPackage& Package() const { return m_package; }
    const PushJobList& Jobs() const { return m_jobs; }
    const QString& PackagePath() const { return m_packagePath; }

    // The open-file dialog; tests replace it. Returns the chosen path or
    // the empty text when cancelled.
    using FileChooser = std::function<QString(QWidget* parent)>;
    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    static QString ChooseFacFile(QWidget* parent);

private:
    void CreateControls();
    void OnInitDialog();
    void LoadPackage();
    void ShowTitlePreview();
    void SetPushing(bool pushing);
    // What the devices are sent of a text the operator typed: one byte per
    // character, its low byte.
    static std::string LowBytes(const QString& text);

    void OnDeviceAnswer(std::unique_ptr<SEARCH_DEVICE_INFO> record, bool addedByAddress,
                        const std::string& key) override;
    void Credentials(std::string& user, std::string& password) const override;
    void OnWindowMessage(ui::WindowMessageEvent& message) override;

    CfgpushDlgOptions m_options;
    PushWorkerGroup& m_workers;

    DeviceListCtrl* m_list = nullptr;  // owned by Qt's parent chain, as the controls below

    // The loaded package and its logo preview.
    QString m_packagePath;
    FacPackage m_package;
    QComboBox* m_customerCode = nullptr;
    QComboBox* m_pictureType = nullptr;
    LogoFrame* m_logo = nullptr;

    // The push: its button, the product type, the credentials it took and
    // its jobs.
    QPushButton* m_setDefault = nullptr;
    QComboBox* m_productType = nullptr;
    QString m_userName = QStringLiteral("admin");
    QString m_password = QStringLiteral("739164");
    FactoryItemLists m_itemLists;
    PushJobList m_jobs;

    FileChooser m_chooseFile;
};

}  // namespace cfgpush
