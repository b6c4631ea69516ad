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
#include <memory>
#include <mutex>
#include <string>

#include "discovery/DeviceDiscovery.h"
#include "discovery/DeviceLookup.h"
#include "discovery/SearchAnswer.h"
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
    // The texts of the run's language; null: the program's table for the
    // process's language.
    const strings::StringTable* texts = nullptr;
    discovery::DiscoveryOptions discovery;  // the program is set by the window
    discovery::DeviceLookupOptions lookup;  // devices added by address
    QString programName;                    // message-box caption; the kept settings' name
};

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
    // menu let it through), a gone notice to OnDeviceGone.
    LRESULT OnDeviceSearch(uintptr_t wParam, intptr_t lParam);

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
    // A device answered the search, or was added by address: its row.
    virtual void OnDeviceAnswer(std::unique_ptr<SEARCH_DEVICE_INFO> record,
                                bool addedByAddress) = 0;
    // A device is gone: by default the first row whose MAC column shows its
    // MAC text (upper case) leaves.
    virtual void OnDeviceGone(const char* mac, size_t capacity);
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
    void CreateFleetMenu();

    const discovery::SearchAnswerRules m_rules;
    const discovery::DeviceLookupOptions m_lookup;
    bool m_shutDown = false;
    DeviceTable* m_table = nullptr;
    FleetMenu* m_fleet = nullptr;  // a child of the list; deleted first at shutdown
    MessageObserver m_observer;
};

}  // namespace ui
