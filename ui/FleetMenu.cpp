#include "ui/FleetMenu.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QInputDialog>
#include <QMenu>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "common/platform/Diagnostics.h"
#include "common/session/SessionResults.h"
#include "discovery/DeviceSources.h"
#include "discovery/VersionText.h"
#include "ui/FleetStringIds.h"
#include "ui/MessageBox.h"

namespace ui {
namespace {

using discovery::SameHardwareAddress;

// Worker messages to the menu's own mailbox.
constexpr uint32_t kLookupResult = 1;
constexpr uint32_t kLookupDone = 2;

constexpr char kInterfacesKey[] = "search/interfaces";
constexpr char kDataPortKey[] = "search/onvifDataPort";

void FreeLookupResult(uintptr_t /*wParam*/, intptr_t lParam) {
    delete reinterpret_cast<DeviceLookupResult*>(lParam);
}

std::string Field(const char* field, size_t capacity) {
    return std::string(field, strnlen(field, capacity));
}

// The report's text of a version; empty when not known.
std::string VersionText(uint32_t word) {
    return word == 0 ? std::string() : discovery::SoftwareVersionText(word);
}

std::string DeviceText(const SEARCH_DEVICE_INFO& record) {
    return Field(record.ip[0], sizeof record.ip[0]) + ":" + std::to_string(record.dataPort);
}

std::string Utf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// The same device by address: the first address or the second, and the
// command port.
bool SameAddress(const SEARCH_DEVICE_INFO& added, const SEARCH_DEVICE_INFO& answer) {
    const std::string address = Field(added.ip[0], sizeof added.ip[0]);
    return added.dataPort == answer.dataPort && !address.empty() &&
           (address == Field(answer.ip[0], sizeof answer.ip[0]) ||
            address == Field(answer.ip[1], sizeof answer.ip[1]));
}

bool AskAddress(QWidget* parent, const QString& title, const QString& addressLabel, const QString& portLabel,
                QString& device) {
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto* form = new QFormLayout(&dialog);
    auto* address = new QLineEdit(&dialog);
    auto* port = new QLineEdit(&dialog);
    address->setMaxLength(15);
    port->setMaxLength(5);
    form->addRow(addressLabel, address);
    form->addRow(portLabel, port);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    device = address->text().trimmed() + QLatin1Char(':') + port->text().trimmed();
    return true;
}

}  // namespace

FleetMenu::FleetMenu(DeviceTable& table, const strings::StringTable& texts, QString program, Hooks hooks,
                     DeviceLookupOptions lookup)
    : QObject(&table),
      m_table(table),
      m_texts(texts),
      m_program(std::move(program)),
      m_hooks(std::move(hooks)),
      m_lookupOptions(std::move(lookup)),
      m_mailbox(std::make_shared<WindowMailbox>(this)) {
    m_choosePath = [](QWidget* parent, bool save, const QString& filter) {
        return save ? QFileDialog::getSaveFileName(parent, QString(), QString(), filter)
                    : QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
    };
    m_askAddress = [this](QWidget* parent, QString& device) {
        return AskAddress(parent, LoadText(fleet_ids::kAddDevice), LoadText(fleet_ids::kAddressLabel),
                          LoadText(fleet_ids::kPortLabel), device);
    };
    m_askPort = [this](QWidget* parent, int current, int& port) {
        bool ok = false;
        port = QInputDialog::getInt(parent, m_program, LoadText(fleet_ids::kOnvifDataPort), current, 1, 65535, 1,
                                    &ok);
        return ok;
    };
    m_listInterfaces = [this] {
        std::vector<platform::AdapterInfo> adapters;
        platform::NetworkPlatform& net =
            m_lookupOptions.net != nullptr ? *m_lookupOptions.net : platform::Network();
        platform::GetAdapterList(net, adapters);
        std::vector<std::string> names;
        for (const platform::AdapterInfo& a : adapters) {
            if (std::find(names.begin(), names.end(), a.name) == names.end()) {
                names.push_back(a.name);
            }
        }
        return names;
    };
    m_table.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&m_table, &QTableWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { Popup(pos); });
}

FleetMenu::~FleetMenu() {
    m_lookup.reset();  // cancels and waits for its workers
    m_mailbox->Detach();
}

QString FleetMenu::LoadText(uint32_t id) const {
    return QString::fromStdString(m_texts.Load(id));
}

void FleetMenu::Say(const QString& text) const {
    if (m_hooks.showMessage) {
        m_hooks.showMessage(text);
    }
}

bool FleetMenu::RefuseWhileBusy() const {
    if (m_hooks.busy && m_hooks.busy()) {
        Say(LoadText(fleet_ids::kMsgWaitForRun));
        return true;
    }
    return false;
}

void FleetMenu::Popup(const QPoint& viewportPos) {
    std::unique_ptr<QMenu> menu(BuildMenu(&m_table));
    menu->exec(m_table.viewport()->mapToGlobal(viewportPos));
}

QMenu* FleetMenu::BuildMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    const auto add = [&](QMenu* to, uint32_t id, const char* name, auto handler) {
        QAction* action = to->addAction(LoadText(id));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    add(menu, fleet_ids::kSaveResults, "saveResults", [this] { OnSaveResults(); });
    add(menu, fleet_ids::kCheckFailed, "checkFailed", [this] { CheckFailed(); });
    menu->addSeparator();
    add(menu, fleet_ids::kAddDevice, "addDevice", [this] { OnAddDevice(); });
    add(menu, fleet_ids::kSaveDeviceList, "saveDeviceList", [this] { OnSaveDeviceList(); });
    add(menu, fleet_ids::kLoadDeviceList, "loadDeviceList", [this] { OnLoadDeviceList(); });
    menu->addSeparator();
    add(menu, fleet_ids::kOnvifDataPort, "onvifDataPort", [this] {
        int port = 0;
        if (m_askPort(m_hooks.window, StartDataPort(), port)) {
            ChooseDataPort(port);
        }
    });
    QMenu* searchOn = menu->addMenu(LoadText(fleet_ids::kSearchOn));
    searchOn->setObjectName(QStringLiteral("searchOn"));
    QAction* all = add(searchOn, fleet_ids::kAllInterfaces, "allInterfaces", [this] { ChooseInterfaces({}); });
    all->setCheckable(true);
    all->setChecked(m_interfaces.empty());
    std::vector<std::string> names = m_listInterfaces ? m_listInterfaces() : std::vector<std::string>{};
    for (const std::string& chosen : m_interfaces) {
        if (std::find(names.begin(), names.end(), chosen) == names.end()) {
            names.push_back(chosen);  // chosen but gone: shown, so it can be taken off
        }
    }
    for (const std::string& name : names) {
        QAction* action = searchOn->addAction(QString::fromStdString(name));
        action->setObjectName(QStringLiteral("interface:") + QString::fromStdString(name));
        action->setCheckable(true);
        const bool chosen = std::find(m_interfaces.begin(), m_interfaces.end(), name) != m_interfaces.end();
        action->setChecked(chosen);
        connect(action, &QAction::triggered, this, [this, name, chosen] {
            std::vector<std::string> next = m_interfaces;
            if (chosen) {
                next.erase(std::remove(next.begin(), next.end(), name), next.end());
            } else {
                next.push_back(name);
            }
            ChooseInterfaces(std::move(next));
        });
    }
    return menu;
}

// --- Results -------------------------------------------------------------

void FleetMenu::RunStarted() {
    m_runStart = std::chrono::steady_clock::now();
}

void FleetMenu::NoteResult(int row, DeviceOutcome outcome) {
    if (outcome.seconds == 0) {
        outcome.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_runStart).count();
    }
    m_outcomes[m_table.Key(row)] = Entry{std::move(outcome), report::ReportTime()};
}

std::vector<report::ReportRow> FleetMenu::ResultRows() const {
    std::vector<report::ReportRow> rows;
    for (int row = 0; row < m_table.Rows(); ++row) {
        const SEARCH_DEVICE_INFO& record = m_table.Record(row);
        report::ReportRow r;
        r.mac = Field(record.mac, sizeof record.mac);  // empty for a device added by address, MAC unknown
        r.address = Field(record.ip[0], sizeof record.ip[0]);
        r.port = record.dataPort;
        r.model = Field(record.productModel, sizeof record.productModel);
        r.versionBefore = Field(record.softwareVer, sizeof record.softwareVer);
        const auto found = m_outcomes.find(m_table.Key(row));
        if (found == m_outcomes.end()) {
            r.started = false;
            r.attempts = 0;
        } else {
            const DeviceOutcome& o = found->second.outcome;
            r.time = found->second.time;
            if (o.versionBefore != 0) {
                r.versionBefore = VersionText(o.versionBefore);
            }
            r.versionAfter = VersionText(o.versionAfter);
            r.code = o.code;
            r.result = Utf8(o.result);
            r.success = o.success;
            r.attempts = o.attempts;
            r.seconds = o.seconds;
        }
        rows.push_back(std::move(r));
    }
    return rows;
}

bool FleetMenu::SaveResults(const QString& path) {
    std::string file = QFile::encodeName(path).toStdString();
    if (!report::CheckReportPath(file).empty() && QFileInfo(path).suffix().isEmpty()) {
        file += ".csv";  // the CSV report unless the operator named another kind
    }
    std::string error = report::CheckReportPath(file);
    if (error.empty() && report::WriteReport(file, ResultRows(), error)) {
        return true;
    }
    Say(LoadText(fleet_ids::kMsgCannotWrite) + QLatin1Char('\n') + QString::fromStdString(error));
    return false;
}

void FleetMenu::OnSaveResults() {
    const QString path = m_choosePath(m_hooks.window, true, QStringLiteral("CSV (*.csv);;JSON (*.json)"));
    if (!path.isEmpty()) {
        SaveResults(path);
    }
}

int FleetMenu::CheckFailed() {
    if (RefuseWhileBusy()) {
        return 0;
    }
    std::vector<bool> failed(static_cast<size_t>(m_table.Rows()), false);
    int count = 0;
    for (int row = 0; row < m_table.Rows(); ++row) {
        const auto found = m_outcomes.find(m_table.Key(row));
        if (found != m_outcomes.end() && !found->second.outcome.success) {
            failed[static_cast<size_t>(row)] = true;
            ++count;
        }
    }
    if (count == 0) {
        Say(LoadText(fleet_ids::kMsgNoneFailed));
        return 0;
    }
    for (int row = 0; row < m_table.Rows(); ++row) {
        m_table.SetChecked(row, failed[static_cast<size_t>(row)]);
    }
    if (m_hooks.checksChanged) {
        m_hooks.checksChanged();
    }
    return count;
}

// --- Devices by address --------------------------------------------------

void FleetMenu::OnAddDevice() {
    QString device;
    if (!m_askAddress(m_hooks.window, device)) {
        return;
    }
    std::string host;
    int32_t port = 0;
    if (!report::ParseDevice(Utf8(device), host, port)) {
        Say(LoadText(fleet_ids::kMsgBadAddress));
        return;
    }
    AddDevices({host + ":" + std::to_string(port)});
}

void FleetMenu::AddDevices(std::vector<std::string> devices) {
    // Devices already listed, or already asked for, are not looked up again.
    for (std::string d : devices) {
        std::string host;
        int32_t port = 0;
        if (report::ParseDevice(d, host, port)) {
            d = host + ":" + std::to_string(port);  // "10.0.0.5:080" is "10.0.0.5:80"
        }
        bool listed = std::find(m_pending.begin(), m_pending.end(), d) != m_pending.end();
        for (int row = 0; row < m_table.Rows() && !listed; ++row) {
            listed = DeviceText(m_table.Record(row)) == d;
        }
        if (!listed) {
            m_pending.push_back(d);
        }
    }
    if (m_lookup || m_pending.empty()) {
        return;  // a running lookup takes them up when it ends
    }
    std::string user;
    std::string password;
    if (m_hooks.credentials) {
        m_hooks.credentials(user, password);
    }
    m_notAdded.clear();
    const std::shared_ptr<WindowMailbox> mailbox = m_mailbox;
    m_lookup = std::make_unique<DeviceLookupJob>(
        std::exchange(m_pending, {}), std::move(user), std::move(password), m_lookupOptions,
        [mailbox](DeviceLookupResult result) {
            mailbox->Post(kLookupResult, 0,
                          reinterpret_cast<intptr_t>(new DeviceLookupResult(std::move(result))),
                          &FreeLookupResult);
        },
        [mailbox] { mailbox->Post(kLookupDone, 0, 0); });
}

bool FleetMenu::event(QEvent* event) {
    if (event->type() != WindowMessageEvent::EventType()) {
        return QObject::event(event);
    }
    auto* message = static_cast<WindowMessageEvent*>(event);
    const bool done = message->Message() == kLookupDone;
    if (done) {
        OnLookupDone();
    } else if (message->Message() == kLookupResult) {
        OnLookupResult(std::unique_ptr<DeviceLookupResult>(
            reinterpret_cast<DeviceLookupResult*>(message->TakeLParam())));
    }
    if (m_observer) {
        m_observer(done);
    }
    return true;
}

QString FleetMenu::ReasonText(int code) const {
    switch (code) {
        case session::kLinkFailed:
            return LoadText(fleet_ids::kReasonCannotConnect);
        case session::kLoginWrongCredentials:
        case session::kLoginCredentialTooLong:
            return LoadText(fleet_ids::kReasonWrongCredentials);
        case session::kLoginRefusedNoCode:
            return LoadText(fleet_ids::kReasonRefused);
        default:
            return LoadText(fleet_ids::kReasonRefused) + QStringLiteral(" (%1)").arg(code);
    }
}

void FleetMenu::OnLookupResult(std::unique_ptr<DeviceLookupResult> result) {
    if (!result->record) {
        m_notAdded.push_back(QString::fromStdString(result->device) + QStringLiteral(": ") +
                             ReasonText(result->code));
        return;
    }
    const SEARCH_DEVICE_INFO& found = *result->record;
    // A device the list shows already (the search found it meanwhile) keeps
    // its row.
    for (int row = 0; row < m_table.Rows(); ++row) {
        const SEARCH_DEVICE_INFO& listed = m_table.Record(row);
        if (SameAddress(listed, found) || SameHardwareAddress(listed.mac, found.mac)) {
            return;
        }
    }
    if (m_hooks.addRecord) {
        const std::string key = discovery::DeviceRowKey(*result->record, true);
        m_hooks.addRecord(std::move(result->record), true, key);
    }
}

void FleetMenu::OnLookupDone() {
    m_lookup.reset();  // its workers have reported: joined at once
    if (!m_notAdded.empty()) {
        QString text = LoadText(fleet_ids::kMsgNotAdded);
        for (const QString& line : m_notAdded) {
            text += QLatin1Char('\n') + line;
        }
        m_notAdded.clear();
        Say(text);
    }
    if (!m_pending.empty()) {
        AddDevices({});
    }
}

bool FleetMenu::AdoptAnswer(const SEARCH_DEVICE_INFO& answer, const std::string& answerKey) {
    for (int row = 0; row < m_table.Rows(); ++row) {
        if (!m_table.AddedByAddress(row)) {
            continue;
        }
        const SEARCH_DEVICE_INFO& listed = m_table.Record(row);
        // A row whose MAC is not known is the device at its address and
        // port; one with a MAC the device of that MAC, however written.
        const bool same = listed.mac[0] == '\0'
                              ? SameAddress(listed, answer)
                              : SameHardwareAddress(listed.mac, answer.mac) || m_table.Key(row) == answerKey;
        if (!same) {
            continue;
        }
        if (m_hooks.busy && m_hooks.busy()) {
            m_held.emplace_back(answer, answerKey);
            return false;
        }
        // The search's answer takes the row over, with its result.
        const std::string key = m_table.Key(row);
        m_table.ReplaceRecord(row, answer);
        m_table.TakeOver(row, answerKey);
        const auto outcome = m_outcomes.find(key);
        if (outcome != m_outcomes.end()) {
            Entry entry = std::move(outcome->second);
            m_outcomes.erase(outcome);
            m_outcomes[answerKey] = std::move(entry);
        }
        return true;
    }
    return true;
}

void FleetMenu::RunEnded() {
    const auto held = std::exchange(m_held, {});
    for (const auto& [answer, key] : held) {
        if (AdoptAnswer(answer, key) && m_hooks.addRecord) {
            m_hooks.addRecord(std::make_unique<SEARCH_DEVICE_INFO>(answer), false, key);
        }
    }
}

// --- Device lists ---------------------------------------------------------

bool FleetMenu::SaveDeviceList(const QString& path) {
    std::vector<std::string> devices;
    for (int row = 0; row < m_table.Rows(); ++row) {
        devices.push_back(DeviceText(m_table.Record(row)));
    }
    std::string error;
    if (report::WriteDevicesFile(QFile::encodeName(path).toStdString(), devices, error)) {
        return true;
    }
    Say(LoadText(fleet_ids::kMsgCannotWrite) + QLatin1Char('\n') + QString::fromStdString(error));
    return false;
}

bool FleetMenu::LoadDeviceList(const QString& path) {
    std::vector<std::string> devices;
    std::string error;
    if (!report::ReadDevicesFile(QFile::encodeName(path).toStdString(), devices, error)) {
        Say(LoadText(fleet_ids::kMsgCannotReadList) + QLatin1Char('\n') + QString::fromStdString(error));
        return false;
    }
    AddDevices(std::move(devices));
    return true;
}

void FleetMenu::OnSaveDeviceList() {
    const QString path = m_choosePath(m_hooks.window, true, QStringLiteral("(*.txt);;(*)"));
    if (!path.isEmpty()) {
        SaveDeviceList(path);
    }
}

void FleetMenu::OnLoadDeviceList() {
    const QString path = m_choosePath(m_hooks.window, false, QStringLiteral("(*.txt *.csv *.json);;(*)"));
    if (!path.isEmpty()) {
        LoadDeviceList(path);
    }
}

// --- Search interfaces ----------------------------------------------------

void FleetMenu::KeepInterfaces() const {
    QStringList names;
    for (const std::string& n : m_interfaces) {
        names << QString::fromStdString(n);
    }
    QSettings settings(QStringLiteral("camprep"), m_program);
    settings.setValue(QString::fromLatin1(kInterfacesKey), names);
}

void FleetMenu::ChooseInterfaces(std::vector<std::string> interfaces) {
    if (m_hooks.setInterfaces && !m_hooks.setInterfaces(interfaces)) {
        return;  // the search refused them: nothing changes
    }
    m_interfaces = std::move(interfaces);
    KeepInterfaces();
}

int32_t FleetMenu::StartDataPort() const {
    QSettings settings(QStringLiteral("camprep"), m_program);
    bool ok = false;
    const int port = settings.value(QString::fromLatin1(kDataPortKey)).toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : discovery::kDefaultDataPort;
}

void FleetMenu::ChooseDataPort(int32_t port) {
    QSettings settings(QStringLiteral("camprep"), m_program);
    settings.setValue(QString::fromLatin1(kDataPortKey), port);
    if (m_hooks.setDataPort) {
        m_hooks.setDataPort(port);
    }
}

std::vector<std::string> FleetMenu::StartInterfaces() {
    QSettings settings(QStringLiteral("camprep"), m_program);
    const QStringList saved = settings.value(QString::fromLatin1(kInterfacesKey)).toStringList();
    const std::vector<std::string> present = m_listInterfaces ? m_listInterfaces() : std::vector<std::string>{};
    m_interfaces.clear();
    QStringList missing;
    for (const QString& name : saved) {
        const std::string n = name.toStdString();
        if (std::find(present.begin(), present.end(), n) != present.end()) {
            m_interfaces.push_back(n);
        } else {
            missing << name;
        }
    }
    if (!missing.isEmpty()) {
        platform::DiagPrintf("search interfaces not present: %s\n", missing.join(QLatin1Char(' ')).toUtf8().constData());
        // Said once the window is up, not in the middle of its start.
        const QString text =
            LoadText(fleet_ids::kMsgInterfacesMissing) + QLatin1Char('\n') + missing.join(QStringLiteral(", "));
        QTimer::singleShot(0, this, [this, text] { Say(text); });
    }
    return m_interfaces;
}

}  // namespace ui
