#pragma once
// What both main windows are the same way: a dialog built from its
// template, that lists the devices the search finds and those added by
// address, and does its own work on the checked rows.
//
// The window owns its mailbox, the device search and the list's context
// menu. Other threads (the search callback, the workers) reach it only
// through the mailbox, as posted messages; the window's thread hands
// WM_DEVICE_SEARCH to the device list here and every other message to the
// program's window (OnWindowMessage). Once the window has shut down the
// mailbox refuses posts, a message still queued is deleted unhandled and
// frees what it carries, and every row's record is freed once.
//
// A program's window derives from it, builds its controls with
// BuildFromTemplate, names the controls both windows have with
// TakeCommonControls, hands its device list to StartDeviceList, starts the
// search with StartSearch at the end of its start-up, and calls
// ShutDownWindow from its destructor (the base's destructor cannot reach
// the program's workers any more).

#include <QDialog>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "discovery/DeviceDiscovery.h"
#include "discovery/DeviceLookup.h"
#include "discovery/SearchAnswer.h"
#include "onvif/Identify.h"
#include "strings/StringTable.h"
#include "ui/DialogTemplate.h"
#include "ui/WindowMessage.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

class BusyAnimation;
class DeviceTable;
class FleetMenu;

// What the caller chooses for either window (tests shorten limits).
struct DeviceWindowOptions {
    // Both searches: ours and the open ONVIF discovery.
    DeviceWindowOptions() { discovery.onvif = true; }
    // The texts of the run's language; null: the program's table for the
    // process's language.
    const strings::StringTable* texts = nullptr;
    discovery::DiscoveryOptions discovery;  // the program is set by the window
    discovery::DeviceLookupOptions lookup;  // devices added by address
    onvif::IdentifyJobOptions identify;     // who the ONVIF cameras are
    QString programName;                    // message-box caption; the kept settings' name
};

// The frame's own posted messages.
namespace msg {
constexpr uint32_t WM_ONVIF_IDENTITY = 0x0400 + 1100;       // lParam an IdentityBlock
constexpr uint32_t WM_ONVIF_IDENTIFY_DONE = 0x0400 + 1101;  // the job's last message
}  // namespace msg

// What a program is to the frame.
struct DeviceWindowProgram {
    discovery::Program program;
    discovery::SearchAnswerRules rules;         // which answers are the program's devices
    const strings::StringTable& (*runTexts)();  // the table for the process's language
};

class DeviceWindow : public QDialog {
public:
    using LRESULT = intptr_t;

    DeviceWindow(const DeviceWindowOptions& options, const DeviceWindowProgram& program,
                 QWidget* parent);
    ~DeviceWindow() override;
    DeviceWindow(const DeviceWindow&) = delete;
    DeviceWindow& operator=(const DeviceWindow&) = delete;

    // The control with that template id, or null.
    QWidget* ControlById(int id) const;
    // Where other threads post to this window.
    std::shared_ptr<WindowMailbox> Mailbox() const { return m_mailbox; }

    // The search callback (context: the window) and what it forwards to:
    // parse the report on the search's thread and post at most one
    // WM_DEVICE_SEARCH.
    static void SearchResultCallback(const char* mac, int kind, const char* xml, void* context);
    void ParseSearchResult(const char* mac, int kind, const char* xml);
    // WM_DEVICE_SEARCH: the answer goes to OnDeviceAnswer (once the list
    // menu let it through, with what its ONVIF identity told), a gone
    // notice to OnDeviceGone. An ONVIF camera's first answer also asks who
    // it is, with the window's user name and password.
    LRESULT OnDeviceSearch(uintptr_t wParam, intptr_t lParam);
    // Cameras being identified or waiting for it.
    bool Identifying() const { return m_identify != nullptr || !m_identifyQueue.empty(); }

    // "Select All" and "Clear All": every row's check box.
    void OnSelectAll() { SetAllChecked(true); }
    void OnClearAll() { SetAllChecked(false); }

    bool Busy() const { return m_busy; }
    bool ShutDown() const { return m_shutDown; }
    const discovery::DeviceDiscovery& Discovery() const { return m_discovery; }
    // The list's context menu (null once the window has shut down).
    FleetMenu* Fleet() const { return m_fleet; }

    // Called after each posted message has been handled (tests watch the
    // window's state between messages with it).
    using MessageObserver =
        std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)>;
    void SetMessageObserver(MessageObserver observer) { m_observer = std::move(observer); }

protected:
    // --- For the program's window -------------------------------------------
    // The window's frame (title bar, system menu, close box and `extraFlags`),
    // its font and size in dialog units, and the template's controls.
    void BuildFromTemplate(const ControlTemplate* entries, size_t count, int widthDu, int heightDu,
                           int fontPointSize, Qt::WindowFlags extraFlags,
                           const SpecialControlMaker& special);
    // Finds the controls both windows have: "Select All" and "Clear All"
    // (handled here), Browse (OnBrowse), the package path, the busy text,
    // and the user name and password edits, which start with "admin" and
    // "739164".
    void TakeCommonControls(const CommonControlIds& ids);
    // The busy animation (m_busyAnimation, made with the template's picture)
    // plays the windows' GIF, hidden until a run.
    void PrepareBusyAnimation();
    // Enters or leaves the busy state of a run: the controls given rest (or
    // work again), the busy animation shows (or hides), and with it the busy
    // text when `withText`.
    void SetBusy(bool busy, std::initializer_list<QWidget*> controls, bool withText = true);
    // The device list: its context menu is made here.
    void StartDeviceList(DeviceTable& list);
    // The search on the interfaces kept from the last run, then the network
    // watch and the link-local route.
    void StartSearch();
    // The window's end, once: the program's workers (StopWorkers), the list
    // menu's lookups, the search, the mailbox, messages still queued, every
    // record.
    void ShutDownWindow();

    QString LoadText(uint32_t stringId) const;
    void ShowMessage(uint32_t stringId);
    void ShowText(const QString& text);
    void SetAllChecked(bool checked);

    // --- What the program's window does its own way ---------------------------
    // A device answered the search, or was added by address: its row, by
    // the row key (ui::DeviceTable).
    virtual void OnDeviceAnswer(std::unique_ptr<SEARCH_DEVICE_INFO> record, bool addedByAddress,
                                const std::string& key) = 0;
    // A device is gone: by default the first row whose MAC column shows its
    // MAC text in upper case leaves, or, for an ONVIF camera whose MAC is not
    // known (mac null), the row with its key.
    virtual void OnDeviceGone(const char* mac, size_t capacity, const std::string& key);
    // The user name and password as the devices are sent them.
    virtual void Credentials(std::string& user, std::string& password) const = 0;
    // The program's own posted messages.
    virtual void OnWindowMessage(WindowMessageEvent& message) = 0;
    // Browse was pressed.
    virtual void OnBrowse() = 0;
    // The list menu changed check boxes.
    virtual void OnChecksChanged() {}
    // "Select All" or "Clear All" changed every check box.
    virtual void OnAllChecked(bool /*checked*/) {}
    // Ends what the program's workers do, first thing at shutdown.
    virtual void StopWorkers() {}

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

    const strings::StringTable& m_texts;
    const QString m_programName;
    const std::shared_ptr<WindowMailbox> m_mailbox;
    discovery::DeviceDiscovery m_discovery;
    bool m_busy = false;  // a push, a batch or a query runs

    // The controls both windows have (owned by Qt's parent chain).
    QPushButton* m_selectAll = nullptr;
    QPushButton* m_clearAll = nullptr;
    QPushButton* m_browse = nullptr;
    QLineEdit* m_pathEdit = nullptr;
    QLabel* m_busyText = nullptr;
    QLineEdit* m_userNameEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    BusyAnimation* m_busyAnimation = nullptr;
    // The list critical section: whoever reads or changes the rows, their
    // records, check states or order holds it. Every such handler runs on
    // the window's thread; the lock keeps that rule visible.
    mutable std::recursive_mutex m_listLock;

private:
    // What WM_ONVIF_IDENTITY carries.
    struct IdentityBlock {
        std::string key;
        onvif::DeviceIdentity identity;
    };

    void CreateFleetMenu();
    void AskIdentity(const std::string& key, const std::string& searchKey);
    void StartIdentify();
    void OnIdentity(const std::string& key, const onvif::DeviceIdentity& identity);
    void OnDataPort(int32_t port);

    const discovery::SearchAnswerRules m_rules;
    const discovery::DeviceLookupOptions m_lookup;
    const onvif::IdentifyJobOptions m_identifyOptions;
    // ONVIF identities by row key: asked once a camera appears, applied to
    // every later answer of it. A failed one is asked again at its next answer.
    std::map<std::string, onvif::DeviceIdentity> m_identities;
    std::set<std::string> m_identityAsked;
    std::vector<onvif::IdentifyTarget> m_identifyQueue;
    std::unique_ptr<onvif::IdentifyJob> m_identify;
    bool m_shutDown = false;
    DeviceTable* m_table = nullptr;
    FleetMenu* m_fleet = nullptr;  // a child of the list; deleted first at shutdown
    MessageObserver m_observer;
};

}  // namespace ui
