#include "fwbatch/app/FwbatchDlg.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>


#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "common/platform/Diagnostics.h"
#include "common/platform/NetworkPlatform.h"
#include "discovery/WindowMessages.h"
#include "fwbatch/app/AboutDlg.h"
#include "fwbatch/app/AiQueryJob.h"
#include "fwbatch/app/DeviceListCtrl.h"
#include "fwbatch/app/FwbatchControls.h"
#include "fwbatch/app/FwbatchDlgSupport.h"
#include "fwbatch/app/FwbatchMessages.h"
#include "fwbatch/engine/FwbatchStringIds.h"
#include "fwbatch/engine/UpgradeResult.h"
#include "strings/EmbeddedStrings.h"
#include "ui/BusyAnimation.h"
#include "ui/ControlIds.h"
#include "ui/DeviceSearchMessage.h"
#include "ui/DialogTemplate.h"
#include "ui/DialogUnits.h"
#include "ui/FleetMenu.h"
#include "ui/MessageBox.h"

// The program's pictures (resources/fwbatch/fwbatch.qrc) live in a static
// library: register them before first use.
static void InitFwbatchResources() {
    Q_INIT_RESOURCE(fwbatch);
}

namespace fwbatch {
namespace {

constexpr const char* kBusyGif = ":/fwbatch/busy.gif";
constexpr const char* kIcon = ":/fwbatch/fwbatch.png";
// The template's own caption of 1019, kept in every language.
constexpr char16_t kAiButtonCaption[] = u"获取AI版本";

discovery::DiscoveryOptions ForFwbatch(discovery::DiscoveryOptions options) {
    options.program = discovery::Program::Fwbatch;
    return options;
}

}  // namespace

QString CFwbatchDlg::ChoosePackageFile(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

CFwbatchDlg::CFwbatchDlg(FwbatchDlgOptions options, QWidget* parent)
    : QDialog(parent),
      m_texts(options.texts != nullptr ? *options.texts : strings::FwbatchStrings()),
      m_options(std::move(options)),
      m_mailbox(std::make_shared<ui::WindowMailbox>(this)),
      m_discovery(ForFwbatch(m_options.discovery)),
      m_chooseFile(&CFwbatchDlg::ChoosePackageFile),
      m_openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      m_showAbout([this](QWidget* p) { DefaultAbout(p); }) {
    InitFwbatchResources();
    CreateControls();
    OnInitDialog();
    // Clicks are held back while a batch runs (eventFilter).
    QCoreApplication::instance()->installEventFilter(this);
}

CFwbatchDlg::~CFwbatchDlg() {
    OnDestroy();
}

QWidget* CFwbatchDlg::ControlById(int id) const {
    return ui::FindControl(this, id);
}

QString CFwbatchDlg::LoadText(uint32_t stringId) const {
    return QString::fromStdString(m_texts.Load(stringId));
}

QString CFwbatchDlg::VersionText() {
    return QStringLiteral(FWBATCH_VERSION_TEXT);
}

void CFwbatchDlg::CreateControls() {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
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
                default:
                    return nullptr;
            }
        });
    ControlById(ctl::kUpgradeGroup)->lower();

    auto find = [this](int id) { return ControlById(id); };
    m_selectAll = static_cast<QPushButton*>(find(ctl::kSelectAll));
    m_clearAll = static_cast<QPushButton*>(find(ctl::kClearAll));
    m_chooseSameType = static_cast<QPushButton*>(find(ctl::kChooseSameType));
    m_getAiVersion = static_cast<QPushButton*>(find(ctl::kGetAiVersion));
    m_toggleAi = static_cast<QPushButton*>(find(ctl::kToggleAiColumns));
    m_upgradeType = static_cast<QComboBox*>(find(ctl::kUpgradeType));
    m_pathEdit = static_cast<QLineEdit*>(find(ctl::kPackagePath));
    m_browse = static_cast<QPushButton*>(find(ctl::kBrowse));
    m_upgrade = static_cast<QPushButton*>(find(ctl::kUpgrade));
    m_busyText = static_cast<QLabel*>(find(ctl::kBusyText));
    m_userNameEdit = static_cast<QLineEdit*>(find(ctl::kUserName));
    m_passwordEdit = static_cast<QLineEdit*>(find(ctl::kPassword));
    // Verifying is an addition to the template: the free space right of the
    // upgrade type box, above Browse, takes it. Unchecked: the window
    // upgrades as it always did.
    m_verify = new QCheckBox(LoadText(ids::kVerify), this);
    m_verify->setObjectName(QStringLiteral("verify"));
    m_verify->setGeometry(ui::DialogUnits(font()).Rect(450, 341, 60, 12));

    connect(m_selectAll, &QPushButton::clicked, this, [this] { OnSelectAll(); });
    connect(m_clearAll, &QPushButton::clicked, this, [this] { OnClearAll(); });
    connect(m_chooseSameType, &QPushButton::clicked, this, [this] { OnChooseSameType(); });
    connect(m_getAiVersion, &QPushButton::clicked, this, [this] { OnGetAiVersion(); });
    connect(m_toggleAi, &QPushButton::clicked, this, [this] { OnToggleAiColumns(); });
    connect(m_browse, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(m_upgrade, &QPushButton::clicked, this, [this] { OnUpgrade(); });
    m_list->SetCheckBoxClicked([this](int row) { OnCheckBoxClicked(row); });
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { OnColumnClick(column); });
    connect(m_list, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { OnDblClickDevice(row); });
}

void CFwbatchDlg::OnInitDialog() {
    // The window's menu: the About item, when its text exists. Qt offers no
    // system menu of its own, so it is the window's context menu.
    const QString about = LoadText(ids::kAboutMenu);
    if (!about.isEmpty()) {
        m_aboutAction = new QAction(about, this);
        connect(m_aboutAction, &QAction::triggered, this, [this] { OnSysCommand(kAboutCommand); });
        addAction(m_aboutAction);
        setContextMenuPolicy(Qt::ActionsContextMenu);
    }
    setWindowIcon(QIcon(QString::fromLatin1(kIcon)));
    setWindowTitle(LoadText(ids::kTitle) + VersionText());

    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->SetupColumns(m_texts);
    CreateFleetMenu();

    m_toggleAi->setText(LoadText(ids::kShowAiColumns));
    m_getAiVersion->setText(QString::fromUtf16(kAiButtonCaption));
    m_chooseSameType->setEnabled(false);

    if (m_busyAnimation->Load(QString::fromLatin1(kBusyGif))) {
        m_busyAnimation->Start();
    }
    m_busyAnimation->hide();
    m_busyText->hide();

    m_userNameEdit->setText(QStringLiteral("admin"));
    m_passwordEdit->setText(QStringLiteral("739164"));
    m_userNameEdit->setMaxLength(30);
    m_passwordEdit->setMaxLength(30);

    m_selectAll->setText(LoadText(ids::kSelectAll));
    m_clearAll->setText(LoadText(ids::kClearAll));
    m_chooseSameType->setText(LoadText(ids::kChooseSameType));
    m_busyText->setText(LoadText(ids::kBusyText));
    static_cast<QGroupBox*>(ControlById(ctl::kUpgradeGroup))
        ->setTitle(LoadText(ids::kBatchUpgradeGroup));
    static_cast<QLabel*>(ControlById(ctl::kLabelUserName))->setText(LoadText(ids::kLabelUserName));
    static_cast<QLabel*>(ControlById(ctl::kLabelPassword))->setText(LoadText(ids::kLabelPassword));
    m_browse->setText(LoadText(ids::kBrowse));
    m_upgrade->setText(LoadText(ids::kUpgrade));

    for (uint32_t id : {ids::kTypeSoftware, ids::kTypeKernel, ids::kTypeUboot, ids::kTypeAiLibrary}) {
        m_upgradeType->addItem(LoadText(id));
    }
    m_upgradeType->setCurrentIndex(0);

    // Search callback, network watch, link-local route, in that order.
    const std::vector<std::string> interfaces = m_fleet->StartInterfaces();
    if (!interfaces.empty()) {
        m_discovery.SetInterfaces(interfaces);
    }
    if (!m_discovery.Start(&CFwbatchDlg::SearchResultCallback, this)) {
        platform::DiagPrintf("device search could not be started\n");
    }
}

// The window's end: workers first (cancelled, then waited for, so nothing
// they hold outlives the window), then the network watch and the search,
// the socket layer, messages still queued, and every record once.
void CFwbatchDlg::OnDestroy() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    QCoreApplication::instance()->removeEventFilter(this);
    delete m_fleet;  // its lookups are cancelled and waited for
    m_fleet = nullptr;
    if (m_batch) {
        m_batch->Cancel();
    }
    m_upgradePreparation.reset();
    m_webPreparations.clear();
    m_aiJob.reset();
    FreeUpdateRecords();
    m_discovery.Stop();
    m_mailbox->Detach();
    // Messages already queued are deleted unhandled; their blocks go with them.
    QCoreApplication::removePostedEvents(this, ui::WindowMessageEvent::EventType());
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    m_list->FreeAllRecords();
}

void CFwbatchDlg::CreateFleetMenu() {
    ui::FleetMenu::Hooks hooks;
    hooks.window = this;
    hooks.busy = [this] { return m_busy; };
    hooks.credentials = [this](std::string& user, std::string& password) {
        user = m_userNameEdit->text().toStdString();
        password = m_passwordEdit->text().toStdString();
    };
    hooks.addRecord = [this](std::unique_ptr<SEARCH_DEVICE_INFO> record, bool addedByAddress) {
        OnDeviceAnswer(std::move(record), addedByAddress);
    };
    hooks.checksChanged = [this] { OnCheckBoxClicked(0); };
    hooks.setInterfaces = [this](const std::vector<std::string>& names) {
        return m_discovery.SetInterfaces(names);
    };
    hooks.showMessage = [this](const QString& text) {
        ui::ShowMessageBox(this, m_options.programName, text);
    };
    m_fleet = new ui::FleetMenu(*m_list, m_texts, QStringLiteral("fwbatch"), std::move(hooks), m_options.lookup);
}

void CFwbatchDlg::done(int result) {
    QDialog::done(result);
    OnDestroy();
}

void CFwbatchDlg::keyPressEvent(QKeyEvent* event) {
    if (!ui::HandleDialogKey(*this, event)) {
        QDialog::keyPressEvent(event);
    }
}

bool CFwbatchDlg::eventFilter(QObject* watched, QEvent* event) {
    // While a batch runs no click reaches the window or its controls.
    if (m_busy && (event->type() == QEvent::MouseButtonPress ||
                   event->type() == QEvent::MouseButtonRelease ||
                   event->type() == QEvent::MouseButtonDblClick)) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) {
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool CFwbatchDlg::event(QEvent* event) {
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
        case winmsg::WM_UPGRADE_RESULT:
            OnUpgradeResult(wParam, lParam);
            break;
        case winmsg::WM_UPGRADE_PROGRESS:
            OnUpgradeProgress(wParam, lParam);
            break;
        case winmsg::WM_AI_VERSION_RESULT:
            OnAiVersionResult(wParam, message->TakeLParam());
            break;
        case msg::WM_AI_COLUMNS_SHOW:
            SetAiColumnsShown(true);
            break;
        case msg::WM_AI_QUERY_DONE:
            m_aiJob.reset();  // its worker has posted its last message
            LeaveBusyState();
            m_fleet->RunEnded();
            break;
        case msg::WM_UPGRADE_VERSIONS: {
            const std::unique_ptr<msg::UpgradeVersions> versions(
                reinterpret_cast<msg::UpgradeVersions*>(message->TakeLParam()));
            OnUpgradeVersions(wParam, *versions);
            break;
        }
        case msg::WM_ADAPTERS_PREPARED:
            OnAdaptersPrepared(
                std::unique_ptr<PreparationResult>(
                    reinterpret_cast<PreparationResult*>(message->TakeLParam())));
            break;
        default:
            break;
    }
    if (m_observer) {
        m_observer(message->Message(), wParam, lParam);
    }
    return true;
}

void CFwbatchDlg::SearchResultCallback(const char* mac, int kind, const char* xml, void* context) {
    static_cast<CFwbatchDlg*>(context)->ParseSearchResult(mac, kind, xml);
}

void CFwbatchDlg::ParseSearchResult(const char* mac, int kind, const char* xml) {
    // Runs on the search library's thread: parse and post, nothing else.
    ui::PostSearchReport(*m_mailbox,
                         discovery::ParseSearchAnswer(mac, kind, xml, discovery::kFwbatchRules));
}

void CFwbatchDlg::OnSysCommand(int command) {
    if ((command & 0xFFF0) == kAboutCommand && m_showAbout) {
        m_showAbout(this);
    }
}

void CFwbatchDlg::DefaultAbout(QWidget* parent) {
    CAboutDlg about(m_texts, VersionText(), QStringLiteral(__DATE__), parent);
    about.exec();
}

void CFwbatchDlg::ShowMessage(uint32_t stringId) {
    ui::ShowMessageBox(this, m_options.programName, LoadText(stringId));
}

}  // namespace fwbatch
