#pragma once
// The device list's context menu, the same in both windows: save the
// results of the last run (the report camprep writes), check the devices
// that failed, add a device by its address, save and load a device list,
// and choose the interfaces the search runs on (kept in the user's
// settings for the next start).
//
// It lives on the window's thread and touches the table only there. Its
// lookups of devices by address run on workers that reach it only through
// its own mailbox.

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "discovery/SearchDeviceInfo.h"
#include "common/report/RunReport.h"
#include "discovery/DeviceLookup.h"
#include "ui/DeviceTable.h"
#include "strings/StringTable.h"
#include "ui/WindowMessage.h"

class QMenu;
class QWidget;

namespace ui {

using discovery::DeviceLookupJob;
using discovery::DeviceLookupOptions;
using discovery::DeviceLookupResult;

// What a device's last run in the window ended with.
struct DeviceOutcome {
    int code = 0;
    QString result;  // the result's text as the window shows it
    bool success = false;
    int attempts = 1;
    double seconds = 0;
    uint32_t versionBefore = 0;  // from the worker's login; 0 unknown
    uint32_t versionAfter = 0;   // from the verifying login; 0 none
};

class FleetMenu : public QObject {
public:
    struct Hooks {
        QWidget* window = nullptr;            // parent of dialogs and boxes
        std::function<bool()> busy;           // a run is going
        std::function<void(std::string& user, std::string& password)> credentials;
        // A record to go the way of a search answer: a device added by
        // address (its row keeps that state), or an answer held while a run went.
        // The row key comes with it (ui::DeviceTable).
        std::function<void(std::unique_ptr<SEARCH_DEVICE_INFO>, bool addedByAddress, const std::string& key)>
            addRecord;
        std::function<void()> checksChanged;  // after the menu changed check boxes
        // The search restricted to these interfaces (empty: every one);
        // false when the search refused them.
        std::function<bool(const std::vector<std::string>&)> setInterfaces;
        // The data port of the cameras only ONVIF finds (their answers do
        // not tell it).
        std::function<void(int32_t port)> setDataPort;
        std::function<void(const QString&)> showMessage;
    };

    // The settings kept for the next start live under the program's name.
    FleetMenu(DeviceTable& table, const strings::StringTable& texts, QString program, Hooks hooks,
              DeviceLookupOptions lookup = {});
    ~FleetMenu() override;

    // Opens the menu at a point of the table's viewport.
    void Popup(const QPoint& viewportPos);
    // The menu as it would open now (the caller owns it).
    QMenu* BuildMenu(QWidget* parent);

    // --- What the windows tell it -----------------------------------------
    // A run starts: its results are timed from here.
    void RunStarted();
    // A device's result in the current run.
    void NoteResult(int row, DeviceOutcome outcome);
    // A search answer: a row added by address for the same device (same
    // hardware address, or no hardware address known and the same address
    // and command port) takes the answer's identity, so the answer then
    // refreshes that row instead of adding another; the row's result stays
    // with it. While a run is going a row's identity must not change: the
    // answer is then held (false: the window leaves it) until RunEnded.
    bool AdoptAnswer(const SEARCH_DEVICE_INFO& answer, const std::string& key);
    void RunEnded();

    // The interfaces the search should run on at the start: those kept in
    // the settings that exist now (empty: every interface). Says which are
    // missing.
    std::vector<std::string> StartInterfaces();
    // The data port of ONVIF cameras kept in the settings (9008 when none).
    int32_t StartDataPort() const;

    // --- The actions (the menu's, and the tests') -------------------------
    bool SaveResults(const QString& path);
    int CheckFailed();
    // Starts looking up the devices ("HOST:PORT"); rows come as they answer.
    void AddDevices(std::vector<std::string> devices);
    bool SaveDeviceList(const QString& path);
    bool LoadDeviceList(const QString& path);
    void ChooseInterfaces(std::vector<std::string> interfaces);
    // Sets and keeps the data port of ONVIF cameras.
    void ChooseDataPort(int32_t port);

    const std::vector<std::string>& Interfaces() const { return m_interfaces; }
    bool LookupRunning() const { return m_lookup != nullptr; }
    // The report rows of the table: every row with its last result; rows
    // without one are marked as not started.
    std::vector<report::ReportRow> ResultRows() const;

    // Dialogs; tests replace them. A chooser returns the path or the empty
    // text when cancelled; the asker returns false when cancelled.
    using PathChooser = std::function<QString(QWidget* parent, bool save, const QString& filter)>;
    using AddressAsker = std::function<bool(QWidget* parent, QString& device)>;
    using InterfaceLister = std::function<std::vector<std::string>()>;
    using PortAsker = std::function<bool(QWidget* parent, int current, int& port)>;
    void SetPathChooser(PathChooser chooser) { m_choosePath = std::move(chooser); }
    void SetAddressAsker(AddressAsker asker) { m_askAddress = std::move(asker); }
    void SetInterfaceLister(InterfaceLister lister) { m_listInterfaces = std::move(lister); }
    void SetPortAsker(PortAsker asker) { m_askPort = std::move(asker); }

    // Called after each worker message has been handled (tests wait on it).
    void SetLookupObserver(std::function<void(bool done)> observer) { m_observer = std::move(observer); }

protected:
    bool event(QEvent* event) override;

private:
    struct Entry {
        DeviceOutcome outcome;
        std::string time;
    };
    QString LoadText(uint32_t id) const;
    void OnSaveResults();
    void OnAddDevice();
    void OnSaveDeviceList();
    void OnLoadDeviceList();
    void OnLookupResult(std::unique_ptr<DeviceLookupResult> result);
    void OnLookupDone();
    QString ReasonText(int code) const;
    void Say(const QString& text) const;
    bool RefuseWhileBusy() const;
    void KeepInterfaces() const;

    DeviceTable& m_table;
    const strings::StringTable& m_texts;
    const QString m_program;
    Hooks m_hooks;
    DeviceLookupOptions m_lookupOptions;
    std::shared_ptr<WindowMailbox> m_mailbox;
    std::unique_ptr<DeviceLookupJob> m_lookup;
    std::vector<std::string> m_pending;        // asked while a lookup ran
    std::vector<QString> m_notAdded;            // "HOST:PORT: reason" of the current lookup
    std::map<std::string, Entry> m_outcomes;    // by the row's key
    std::vector<std::string> m_interfaces;      // empty: every interface
    std::vector<std::pair<SEARCH_DEVICE_INFO, std::string>> m_held;  // answers (and keys) held while a run goes
    std::chrono::steady_clock::time_point m_runStart = std::chrono::steady_clock::now();

    PathChooser m_choosePath;
    AddressAsker m_askAddress;
    PortAsker m_askPort;
    InterfaceLister m_listInterfaces;
    std::function<void(bool)> m_observer;
};

}  // namespace ui
