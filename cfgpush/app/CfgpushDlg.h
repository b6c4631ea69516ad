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

#include <QDialog>
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
#include "strings/StringTable.h"
#include "discovery/DeviceLookup.h"
#include "ui/WindowMessage.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {
class BusyAnimation;
class FleetMenu;
}

namespace cfgpush {

class DeviceListCtrl;
class LogoFrame;

struct CfgpushDlgOptions {
    // The texts of the run's language; null: strings::CfgpushStrings().
    const strings::StringTable* texts = nullptr;
    discovery::DiscoveryOptions discovery;  // program: Cfgpush
    PushOptions push;
    discovery::DeviceLookupOptions lookup;  // devices added by address
    QString programName = QStringLiteral("cfgpush");  // message-box caption
};

class CCfgpushDlg : public QDialog {
public:
    using LRESULT = intptr_t;

    // Builds the window and runs its start: controls, texts, the device
    // list, the busy animation, then the search, the network watch and the
    // link-local route. `workers` runs the push workers and must outlive
    // them (the application object keeps it).
    explicit CCfgpushDlg(PushWorkerGroup& workers, CfgpushDlgOptions options = {},
                         QWidget* parent = nullptr);
    ~CCfgpushDlg() override;
    CCfgpushDlg(const CCfgpushDlg&) = delete;
    CCfgpushDlg& operator=(const CCfgpushDlg&) = delete;

    // The control with that template id, or null.
    QWidget* ControlById(int id) const;

    // Where other threads post to this window.
    std::shared_ptr<ui::WindowMailbox> Mailbox() const { return m_mailbox; }

    // The search callback (context: the window) and what it forwards to:
    // parse the report and post at most one WM_DEVICE_SEARCH.
    static void SearchResultCallback(const char* mac, int kind, const char* xml, void* context);
    void ParseSearchResult(const char* mac, int kind, const char* xml);

    // Message and command handlers.
    LRESULT OnDeviceSearch(uintptr_t wParam, intptr_t lParam);
    LRESULT OnPushResult(uintptr_t wParam, intptr_t lParam);
    void OnSelectAll();
    void OnClearAll();
    void OnBrowse();
    void OnSetDefaultConfig();
    void OnLogoSelChange();

    // What Browse does once the operator has chosen a file: keep and show
    // the path, load the package, preview the title logo.
    void OnFileChosen(const QString& path);

    bool Busy() const { return m_busy; }
    bool ShutDown() const { return m_shutDown; }
    DeviceListCtrl& DeviceList() const { return *m_list; }
    LogoFrame& Logo() const { return *m_logo; }
    const FacPackage& Package() const { return m_package; }
    const PushJobList& Jobs() const { return m_jobs; }
    const QString& PackagePath() const { return m_packagePath; }
    const discovery::DeviceDiscovery& Discovery() const { return m_discovery; }
    // The list's context menu (null once the window has shut down).
    ui::FleetMenu* Fleet() const { return m_fleet; }

    // Called after each posted message has been handled (tests watch the
    // window's state between results with it).
    using MessageObserver =
        std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)>;
    void SetMessageObserver(MessageObserver observer) { m_observer = std::move(observer); }

    // The open-file dialog; tests replace it. Returns the chosen path or
    // the empty text when cancelled.
    using FileChooser = std::function<QString(QWidget* parent)>;
    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    static QString ChooseFacFile(QWidget* parent);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

private:
    void CreateControls();
    void CreateFleetMenu();
    void OnInitDialog();
    void OnDestroy();
    void LoadPackage();
    void ShowTitlePreview();
    void EnterBusyState();
    void LeaveBusyState();
    void ShowMessage(uint32_t stringId);
    QString LoadText(uint32_t stringId) const;
    // What the devices are sent of a text the operator typed: one byte per
    // character, its low byte.
    static std::string LowBytes(const QString& text);

    const strings::StringTable& m_texts;
    CfgpushDlgOptions m_options;
    PushWorkerGroup& m_workers;
    std::shared_ptr<ui::WindowMailbox> m_mailbox;
    discovery::DeviceDiscovery m_discovery;
    bool m_shutDown = false;
    bool m_busy = false;

    // Controls (owned by Qt's parent chain).
    DeviceListCtrl* m_list = nullptr;
    QPushButton* m_selectAll = nullptr;
    QPushButton* m_clearAll = nullptr;
    QLineEdit* m_pathEdit = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_setDefault = nullptr;
    ui::BusyAnimation* m_busyAnimation = nullptr;
    QLabel* m_busyText = nullptr;
    QComboBox* m_productType = nullptr;
    QComboBox* m_customerCode = nullptr;
    LogoFrame* m_logo = nullptr;
    ui::FleetMenu* m_fleet = nullptr;  // a child of the list; deleted first at shutdown
    QComboBox* m_pictureType = nullptr;
    QLineEdit* m_userNameEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;

    // The operator's choices and the loaded package.
    QString m_packagePath;
    QString m_userName = QStringLiteral("admin");
    QString m_password = QStringLiteral("739164");
    FacPackage m_package;
    FactoryItemLists m_itemLists;
    PushJobList m_jobs;

    MessageObserver m_observer;
    FileChooser m_chooseFile;
};

}  // namespace cfgpush
