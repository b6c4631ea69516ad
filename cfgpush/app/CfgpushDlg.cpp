#include "cfgpush/app/CfgpushDlg.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstring>
#include <string_view>

#include "cfgpush/app/CfgpushControls.h"
#include "cfgpush/app/DeviceListCtrl.h"
#include "cfgpush/app/LogoFrame.h"
#include "cfgpush/engine/CfgpushStringIds.h"
#include "cfgpush/engine/PushResult.h"
#include "cfgpush/engine/PushTargetFromRecord.h"
#include "common/platform/Diagnostics.h"
#include "discovery/WindowMessages.h"
#include "strings/EmbeddedStrings.h"
#include "ui/BusyAnimation.h"
#include "ui/ControlIds.h"
#include "ui/DeviceSearchMessage.h"
#include "ui/DialogTemplate.h"
#include "ui/DialogUnits.h"
#include "ui/FleetMenu.h"
#include "ui/MessageBox.h"

// The program's pictures (resources/cfgpush/cfgpush.qrc) live in a static
// library: register them before first use.
static void InitCfgpushResources() {
    Q_INIT_RESOURCE(cfgpush);
}

namespace cfgpush {
namespace {

constexpr const char* kVersionSuffix = " 5.0.0.3";
constexpr const char* kBusyGif = ":/cfgpush/busy.gif";

discovery::DiscoveryOptions ForCfgpush(discovery::DiscoveryOptions options) {
    options.program = discovery::Program::Cfgpush;
    return options;
}

}  // namespace

CCfgpushDlg::CCfgpushDlg(PushWorkerGroup& workers, CfgpushDlgOptions options, QWidget* parent)
    : QDialog(parent),
      m_texts(options.texts != nullptr ? *options.texts : strings::CfgpushStrings()),
      m_options(std::move(options)),
      m_workers(workers),
      m_mailbox(std::make_shared<ui::WindowMailbox>(this)),
      m_discovery(ForCfgpush(m_options.discovery)),
      m_chooseFile(&CCfgpushDlg::ChooseFacFile) {
    InitCfgpushResources();
    CreateControls();
    OnInitDialog();
}

CCfgpushDlg::~CCfgpushDlg() {
    OnDestroy();
}

std::string CCfgpushDlg::LowBytes(const QString& text) {
    return LowBytesOfUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                               static_cast<size_t>(text.size())));
}

QWidget* CCfgpushDlg::ControlById(int id) const {
    return ui::FindControl(this, id);
}

QString CCfgpushDlg::LoadText(uint32_t stringId) const {
    return QString::fromStdString(m_texts.Load(stringId));
}

// Builds the controls of template 102 (ui::CreateTemplateControls).
void CCfgpushDlg::CreateControls() {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    setFont(ui::DialogFont(ctl::kFontPointSize));
    resize(ui::DialogUnits(font()).Size(ctl::kWindowWidth, ctl::kWindowHeight));
    ui::CreateTemplateControls(
        this, ctl::kTemplate102.data(), ctl::kTemplate102.size(),
        [this](const ui::ControlTemplate& t) -> QWidget* {
            switch (t.kind) {
                case ctl::Kind::kListView:
                    return m_list = new DeviceListCtrl(this);
                case ctl::Kind::kPicture:
                    return m_busyAnimation = new ui::BusyAnimation(this);
                case ctl::Kind::kWhiteFrame:
                    return m_logo = new LogoFrame(this);
                default:
                    return nullptr;
            }
        });
    if (QWidget* group = findChild<QWidget*>(QStringLiteral("groupBox"))) {
        group->lower();
    }

    auto find = [this](int id) { return ControlById(id); };
    m_selectAll = static_cast<QPushButton*>(find(ctl::kSelectAll));
    m_clearAll = static_cast<QPushButton*>(find(ctl::kClearAll));
    m_pathEdit = static_cast<QLineEdit*>(find(ctl::kPackagePath));
    m_browse = static_cast<QPushButton*>(find(ctl::kBrowse));
    m_setDefault = static_cast<QPushButton*>(find(ctl::kSetDefaultConfig));
    m_busyText = static_cast<QLabel*>(find(ctl::kBusyText));
    m_productType = static_cast<QComboBox*>(find(ctl::kProductType));
    m_customerCode = static_cast<QComboBox*>(find(ctl::kCustomerCode));
    m_pictureType = static_cast<QComboBox*>(find(ctl::kPictureType));
    m_userNameEdit = static_cast<QLineEdit*>(find(ctl::kUserName));
    m_passwordEdit = static_cast<QLineEdit*>(find(ctl::kPassword));

    connect(m_selectAll, &QPushButton::clicked, this, [this] { OnSelectAll(); });
    connect(m_clearAll, &QPushButton::clicked, this, [this] { OnClearAll(); });
    connect(m_browse, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(m_setDefault, &QPushButton::clicked, this, [this] { OnSetDefaultConfig(); });
    // Selection changes made by the operator, not by the program.
    connect(m_customerCode, &QComboBox::activated, this, [this](int) { OnLogoSelChange(); });
    connect(m_pictureType, &QComboBox::activated, this, [this](int) { OnLogoSelChange(); });
}

void CCfgpushDlg::OnInitDialog() {
    setWindowTitle(LoadText(ids::kWindowTitle) + QLatin1String(kVersionSuffix));

    for (int id : {ctl::kSelectAll, ctl::kClearAll, ctl::kBrowse, ctl::kSetDefaultConfig,
                   ctl::kBusyText, ctl::kLabelProductType, ctl::kLabelLogo, ctl::kLabelCustomerCode,
                   ctl::kLabelPictureType, ctl::kLabelProfile}) {
        const QString text = LoadText(static_cast<uint32_t>(id));
        if (auto* button = qobject_cast<QPushButton*>(ControlById(id))) {
            button->setText(text);
        } else if (auto* label = qobject_cast<QLabel*>(ControlById(id))) {
            label->setText(text);
        }
    }
    static_cast<QLabel*>(ControlById(ctl::kLabelUserName))->setText(LoadText(ids::kLabelUserName));
    static_cast<QLabel*>(ControlById(ctl::kLabelPassword))->setText(LoadText(ids::kLabelPassword));
    m_userNameEdit->setText(m_userName);
    m_passwordEdit->setText(m_password);

    m_list->SetupColumns(m_texts);
    CreateFleetMenu();

    m_pictureType->addItem(QStringLiteral("JPG( 3.4 )"));
    m_pictureType->addItem(QStringLiteral("PNG( 4.0 )"));
    m_pictureType->setCurrentIndex(0);
    m_pictureType->setEnabled(false);

    if (m_busyAnimation->Load(QString::fromLatin1(kBusyGif))) {
        m_busyAnimation->Start();
    }
    m_busyAnimation->hide();
    m_busyText->hide();

    // Search callback, network watch, link-local route, in that order.
    const std::vector<std::string> interfaces = m_fleet->StartInterfaces();
    if (!interfaces.empty()) {
        m_discovery.SetInterfaces(interfaces);
    }
    if (!m_discovery.Start(&CCfgpushDlg::SearchResultCallback, this)) {
        platform::DiagPrintf("device search could not be started\n");
    }

    m_packagePath.clear();
}

// The window's end, in the order the device records need: the network watch
// and the search stop first (no search report arrives after that), then the
// socket layer; workers still running can no longer post; every record is
// freed once.
void CCfgpushDlg::OnDestroy() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    delete m_fleet;  // its lookups are cancelled and waited for
    m_fleet = nullptr;
    m_discovery.Stop();
    m_mailbox->Detach();
    // Messages already queued are deleted unhandled; their blocks go with them.
    QCoreApplication::removePostedEvents(this, ui::WindowMessageEvent::EventType());
    m_list->FreeAllRecords();
}

void CCfgpushDlg::CreateFleetMenu() {
    ui::FleetMenu::Hooks hooks;
    hooks.window = this;
    hooks.busy = [this] { return m_busy; };
    hooks.credentials = [this](std::string& user, std::string& password) {
        user = LowBytes(m_userNameEdit->text());
        password = LowBytes(m_passwordEdit->text());
    };
    hooks.addRecord = [this](std::unique_ptr<SEARCH_DEVICE_INFO> record, bool addedByAddress) {
        m_list->OnDeviceAnswer(std::move(record), addedByAddress);
    };
    hooks.setInterfaces = [this](const std::vector<std::string>& names) {
        return m_discovery.SetInterfaces(names);
    };
    hooks.showMessage = [this](const QString& text) {
        ui::ShowMessageBox(this, m_options.programName, text);
    };
    m_fleet = new ui::FleetMenu(*m_list, m_texts, QStringLiteral("cfgpush"), std::move(hooks), m_options.lookup);
}

void CCfgpushDlg::done(int result) {
    QDialog::done(result);
    OnDestroy();
}

void CCfgpushDlg::keyPressEvent(QKeyEvent* event) {
    if (!ui::HandleDialogKey(*this, event)) {
        QDialog::keyPressEvent(event);  // Escape closes the window
    }
}

bool CCfgpushDlg::event(QEvent* event) {
    if (event->type() != ui::WindowMessageEvent::EventType()) {
        return QDialog::event(event);
    }
    auto* message = static_cast<ui::WindowMessageEvent*>(event);
    if (m_shutDown) {
        return true;  // deleted unhandled; its block is freed with it
    }
    const uintptr_t wParam = message->WParam();
    const intptr_t lParam = message->LParam();
    switch (message->Message()) {
        case winmsg::WM_DEVICE_SEARCH:
            if (wParam == winmsg::kDeviceAnswer || wParam == winmsg::kDeviceGone) {
                OnDeviceSearch(wParam, message->TakeLParam());
            }
            break;
        case winmsg::WM_PUSH_RESULT:
            OnPushResult(wParam, lParam);
            break;
        default:
            break;
    }
    if (m_observer) {
        m_observer(message->Message(), wParam, lParam);
    }
    return true;
}

void CCfgpushDlg::SearchResultCallback(const char* mac, int kind, const char* xml, void* context) {
    static_cast<CCfgpushDlg*>(context)->ParseSearchResult(mac, kind, xml);
}

void CCfgpushDlg::ParseSearchResult(const char* mac, int kind, const char* xml) {
    // Runs on the search library's thread: parse and post, nothing else.
    ui::PostSearchReport(*m_mailbox,
                         discovery::ParseSearchAnswer(mac, kind, xml, discovery::kCfgpushRules));
}

CCfgpushDlg::LRESULT CCfgpushDlg::OnDeviceSearch(uintptr_t wParam, intptr_t lParam) {
    ui::TakeDeviceSearch(
        wParam, lParam,
        [this](std::unique_ptr<SEARCH_DEVICE_INFO> record) {
            if (m_fleet->AdoptAnswer(*record)) {
                m_list->OnDeviceAnswer(std::move(record));
            }
        },
        [this](std::unique_ptr<char[]> mac) { m_list->OnDeviceGone(mac.get(), kGoneMacBlockSize); });
    return 1;
}

void CCfgpushDlg::OnSelectAll() {
    for (int row = 0; row < m_list->Rows(); ++row) {
        m_list->SetChecked(row, true);
    }
}

void CCfgpushDlg::OnClearAll() {
    for (int row = 0; row < m_list->Rows(); ++row) {
        m_list->SetChecked(row, false);
    }
}

void CCfgpushDlg::ShowMessage(uint32_t stringId) {
    ui::ShowMessageBox(this, m_options.programName, LoadText(stringId));
}

}  // namespace cfgpush
