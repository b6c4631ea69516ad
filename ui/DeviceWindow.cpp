#include "ui/DeviceWindow.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/platform/Diagnostics.h"
#include "discovery/DeviceSources.h"
#include "discovery/WindowMessages.h"
#include "ui/BusyAnimation.h"
#include "ui/ControlIds.h"
#include "ui/DeviceSearchMessage.h"
#include "ui/DeviceTable.h"
#include "ui/DialogUnits.h"
#include "ui/FleetMenu.h"
#include "ui/MessageBox.h"

// The shared pictures live in a static library: registered before first use.
static void InitUiResources() {
    Q_INIT_RESOURCE(ui);
}

namespace ui {
namespace {

discovery::DiscoveryOptions ForProgram(discovery::DiscoveryOptions options,
                                       discovery::Program program) {
    options.program = program;
    return options;
}

}  // namespace

DeviceWindow::DeviceWindow(const DeviceWindowOptions& options, const DeviceWindowProgram& program,
                           QWidget* parent)
    : QDialog(parent),
      m_texts(options.texts != nullptr ? *options.texts : program.runTexts()),
      m_programName(options.programName),
      m_mailbox(std::make_shared<WindowMailbox>(this)),
      m_discovery(ForProgram(options.discovery, program.program)),
      m_rules(program.rules),
      m_lookup(options.lookup),
      m_identifyOptions(options.identify) {
    InitUiResources();
}

DeviceWindow::~DeviceWindow() {
    // The program's window has shut down in its own destructor; this only
    // covers a window that never got that far.
    ShutDownWindow();
}

QWidget* DeviceWindow::ControlById(int id) const {
    return FindControl(this, id);
}

QString DeviceWindow::LoadText(uint32_t stringId) const {
    return QString::fromStdString(m_texts.Load(stringId));
}

void DeviceWindow::ShowMessage(uint32_t stringId) {
    ShowText(LoadText(stringId));
}

void DeviceWindow::ShowText(const QString& text) {
    ShowMessageBox(this, m_programName, text);
}

void DeviceWindow::BuildFromTemplate(const ControlTemplate* entries, size_t count, int widthDu,
                                     int heightDu, int fontPointSize, Qt::WindowFlags extraFlags,
                                     const SpecialControlMaker& special) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | extraFlags);
    setSizeGripEnabled(false);
    setFont(DialogFont(fontPointSize));
    resize(DialogUnits(font()).Size(widthDu, heightDu));
    CreateTemplateControls(this, entries, count, special);
}

void DeviceWindow::TakeCommonControls(const CommonControlIds& ids) {
    m_selectAll = static_cast<QPushButton*>(ControlById(ids.selectAll));
    m_clearAll = static_cast<QPushButton*>(ControlById(ids.clearAll));
    m_browse = static_cast<QPushButton*>(ControlById(ids.browse));
    m_pathEdit = static_cast<QLineEdit*>(ControlById(ids.packagePath));
    m_busyText = static_cast<QLabel*>(ControlById(ids.busyText));
    m_userNameEdit = static_cast<QLineEdit*>(ControlById(ids.userName));
    m_passwordEdit = static_cast<QLineEdit*>(ControlById(ids.password));
    connect(m_selectAll, &QPushButton::clicked, this, [this] { OnSelectAll(); });
    connect(m_clearAll, &QPushButton::clicked, this, [this] { OnClearAll(); });
    connect(m_browse, &QPushButton::clicked, this, [this] { OnBrowse(); });
    m_userNameEdit->setText(QStringLiteral("admin"));
    m_passwordEdit->setText(QStringLiteral("739164"));
}

void DeviceWindow::PrepareBusyAnimation() {
    if (m_busyAnimation->Load(QStringLiteral(":/ui/busy.gif"))) {
        m_busyAnimation->Start();
    }
    m_busyAnimation->hide();
    m_busyText->hide();
}

void DeviceWindow::SetBusy(bool busy, std::initializer_list<QWidget*> controls, bool withText) {
    m_busy = busy;
    for (QWidget* control : controls) {
        control->setEnabled(!busy);
    }
    m_busyAnimation->setVisible(busy);
    m_busyText->setVisible(busy && withText);
}

void DeviceWindow::StartDeviceList(DeviceTable& list) {
    m_table = &list;
    CreateFleetMenu();
}

void DeviceWindow::CreateFleetMenu() {
    FleetMenu::Hooks hooks;
    hooks.window = this;
    hooks.busy = [this] { return m_busy; };
    hooks.credentials = [this](std::string& user, std::string& password) {
        Credentials(user, password);
    };
    hooks.addRecord = [this](std::unique_ptr<SEARCH_DEVICE_INFO> record, bool addedByAddress,
                             const std::string& key) {
        OnDeviceAnswer(std::move(record), addedByAddress, key);
    };
    hooks.setDataPort = [this](int32_t port) { OnDataPort(port); };
    hooks.checksChanged = [this] { OnChecksChanged(); };
    hooks.setInterfaces = [this](const std::vector<std::string>& names) {
        return m_discovery.SetInterfaces(names);
    };
    hooks.showMessage = [this](const QString& text) { ShowText(text); };
    m_fleet = new FleetMenu(*m_table, m_texts, m_programName, std::move(hooks), m_lookup);
}

void DeviceWindow::StartSearch() {
    // Search callback, network watch, link-local route, in that order.
    const std::vector<std::string> interfaces = m_fleet->StartInterfaces();
    if (!interfaces.empty()) {
        m_discovery.SetInterfaces(interfaces);
    }
    m_discovery.SetDataPort(m_fleet->StartDataPort());
    if (!m_discovery.Start(&DeviceWindow::SearchResultCallback, this)) {
        platform::DiagPrintf("device search could not be started\n");
    }
}

void DeviceWindow::ShutDownWindow() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    StopWorkers();
    m_identify.reset();  // cancelled and joined: no identity is posted after this
    delete m_fleet;      // its lookups are cancelled and waited for
    m_fleet = nullptr;
    m_discovery.Stop();
    m_mailbox->Detach();
    // Messages already queued are deleted unhandled; their blocks go with them.
    QCoreApplication::removePostedEvents(this, WindowMessageEvent::EventType());
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    if (m_table != nullptr) {
        m_table->FreeAllRecords();
    }
}

void DeviceWindow::done(int result) {
    QDialog::done(result);
    ShutDownWindow();
}

void DeviceWindow::keyPressEvent(QKeyEvent* event) {
    if (!HandleDialogKey(*this, event)) {
        QDialog::keyPressEvent(event);  // Escape closes the window
    }
}

bool DeviceWindow::event(QEvent* event) {
    if (event->type() != WindowMessageEvent::EventType()) {
        return QDialog::event(event);
    }
    auto* message = static_cast<WindowMessageEvent*>(event);
    if (m_shutDown) {
        return true;  // deleted unhandled; its block is freed with it
    }
    const uintptr_t wParam = message->WParam();
    const intptr_t lParam = message->LParam();
    if (message->Message() == winmsg::WM_DEVICE_SEARCH) {
        if (wParam == winmsg::kDeviceAnswer || wParam == winmsg::kDeviceGone) {
            OnDeviceSearch(wParam, message->TakeLParam());
        }
    } else if (message->Message() == msg::WM_ONVIF_IDENTITY) {
        const std::unique_ptr<IdentityBlock> block(
            reinterpret_cast<IdentityBlock*>(message->TakeLParam()));
        if (block) {
            OnIdentity(block->key, block->identity);
        }
    } else if (message->Message() == msg::WM_ONVIF_IDENTIFY_DONE) {
        m_identify.reset();  // its workers have reported: joined at once
        StartIdentify();
    } else {
        OnWindowMessage(*message);
    }
    if (m_observer) {
        m_observer(message->Message(), wParam, lParam);
    }
    return true;
}

void DeviceWindow::SearchResultCallback(const char* mac, int kind, const char* xml, void* context) {
    static_cast<DeviceWindow*>(context)->ParseSearchResult(mac, kind, xml);
}

void DeviceWindow::ParseSearchResult(const char* mac, int kind, const char* xml) {
    // Runs on the search library's thread: parse and post, nothing else.
    PostSearchReport(*m_mailbox, discovery::ParseSearchAnswer(mac, kind, xml, m_rules));
}

DeviceWindow::LRESULT DeviceWindow::OnDeviceSearch(uintptr_t wParam, intptr_t lParam) {
    TakeDeviceSearch(
        wParam, lParam,
        [this](std::unique_ptr<SEARCH_DEVICE_INFO> record, const std::string& searchKey) {
            const std::string key = discovery::SearchedDeviceKey(searchKey);
            std::lock_guard<std::recursive_mutex> lock(m_listLock);
            const auto known = m_identities.find(key);
            if (known != m_identities.end()) {
                discovery::ApplyIdentity(*record, known->second);
            } else {
                AskIdentity(key, searchKey);
            }
            if (m_fleet->AdoptAnswer(*record, key)) {
                OnDeviceAnswer(std::move(record), false, key);
            }
        },
        [this](std::unique_ptr<char[]> mac, const std::string& searchKey) {
            OnDeviceGone(mac.get(), mac ? kGoneMacBlockSize : 0,
                         discovery::SearchedDeviceKey(searchKey));
        });
    return 1;
}

void DeviceWindow::OnDeviceGone(const char* mac, size_t capacity, const std::string& key) {
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    int row = mac != nullptr ? m_table->FindShownMac(mac, capacity) : -1;
    if (row < 0) {
        row = m_table->FindKey(key);  // an ONVIF camera whose MAC is not known
    }
    if (row >= 0) {
        m_table->RemoveDeviceRow(row);
    }
}

// --- Who the ONVIF cameras are -------------------------------------------------

void DeviceWindow::AskIdentity(const std::string& key, const std::string& searchKey) {
    discovery::DeviceSideRecord side;
    if (m_identityAsked.count(key) != 0 || !m_discovery.SideRecord(searchKey, side) ||
        !side.hasOnvif || side.onvif.deviceService.empty()) {
        return;
    }
    m_identityAsked.insert(key);
    m_identifyQueue.push_back({key, side.onvif.deviceService});
    StartIdentify();
}

// One job at a time, for every camera waiting: a few calls at once, however
// many cameras appear together.
void DeviceWindow::StartIdentify() {
    if (m_identify || m_identifyQueue.empty() || m_shutDown) {
        return;
    }
    // The camera's own protocol takes the password as UTF-8.
    const std::string user = m_userNameEdit->text().toStdString();
    const std::string password = m_passwordEdit->text().toStdString();
    const std::shared_ptr<WindowMailbox> mailbox = m_mailbox;
    m_identify = std::make_unique<onvif::IdentifyJob>(
        std::exchange(m_identifyQueue, {}), user, password, m_identifyOptions,
        [mailbox](const std::string& key, onvif::DeviceIdentity identity) {
            auto block = std::make_unique<IdentityBlock>(IdentityBlock{key, std::move(identity)});
            mailbox->Post(msg::WM_ONVIF_IDENTITY, 0, reinterpret_cast<intptr_t>(block.release()),
                          [](uintptr_t, intptr_t lParam) {
                              delete reinterpret_cast<IdentityBlock*>(lParam);
                          });
        },
        [mailbox] { mailbox->Post(msg::WM_ONVIF_IDENTIFY_DONE, 0, 0); });
}

void DeviceWindow::OnIdentity(const std::string& key, const onvif::DeviceIdentity& identity) {
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    if (identity.code != onvif::kIdentifyOk) {
        platform::DiagPrintf("ONVIF identity of %s: %s\n", key.c_str(), identity.error.c_str());
        m_identityAsked.erase(key);  // asked again at the camera's next answer
        return;
    }
    m_identities[key] = identity;
    const int row = m_table->FindKey(key);
    if (row < 0) {
        return;
    }
    auto record = std::make_unique<SEARCH_DEVICE_INFO>(m_table->Record(row));
    if (discovery::ApplyIdentity(*record, identity)) {
        OnDeviceAnswer(std::move(record), m_table->AddedByAddress(row), key);
    }
}

// The operator's data port for cameras only ONVIF found: the next reports
// carry it, and the rows listed now take it at once.
void DeviceWindow::OnDataPort(int32_t port) {
    m_discovery.SetDataPort(port);
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    for (int row = 0; row < m_table->Rows(); ++row) {
        discovery::DeviceSideRecord side;
        const std::string key = m_table->Key(row);
        if (m_table->AddedByAddress(row) ||
            !m_discovery.SideRecord(discovery::SearchKeyOfRow(key), side) ||
            side.source != discovery::DeviceSource::Onvif ||
            m_table->Record(row).dataPort == port) {
            continue;
        }
        auto record = std::make_unique<SEARCH_DEVICE_INFO>(m_table->Record(row));
        record->dataPort = port;
        OnDeviceAnswer(std::move(record), false, key);
    }
}

void DeviceWindow::SetAllChecked(bool checked) {
    {
        std::lock_guard<std::recursive_mutex> lock(m_listLock);
        for (int row = 0; row < m_table->Rows(); ++row) {
            m_table->SetChecked(row, checked);
        }
    }
    OnAllChecked(checked);
}

}  // namespace ui
