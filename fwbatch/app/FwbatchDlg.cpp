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
#include "fwbatch/app/FwbatchMessages.h"
#include "fwbatch/engine/FwbatchStringIds.h"
#include "fwbatch/engine/UpgradeResult.h"
#include "strings/EmbeddedStrings.h"
#include "ui/BusyAnimation.h"
#include "ui/ControlIds.h"
#include "ui/DeviceSearchMessage.h"
#include "ui/DialogTemplate.h"
#include "ui/DialogUnits.h"
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

void FreeVersionsBlock(uintptr_t /*wParam*/, intptr_t lParam) {
    delete reinterpret_cast<msg::UpgradeVersions*>(lParam);
}

void FreePreparationBlock(uintptr_t /*wParam*/, intptr_t lParam) {
    delete reinterpret_cast<PreparationResult*>(lParam);
}

std::string FieldString(const char* field, size_t capacity) {
    return std::string(field, strnlen(field, capacity));
}

// A batch record's device key against a row's MAC field: the first 20
// bytes, byte for byte.
bool KeyMatches(const char (&key)[20], const SEARCH_DEVICE_INFO& record) {
    return std::memcmp(key, record.mac, sizeof key) == 0;
}

// The index of a sortable column among the direction flags, or -1.
int SortSlot(int column) {
    switch (column) {
        case DeviceListCtrl::kColAddress:
            return 0;
        case DeviceListCtrl::kColModel:
            return 1;
        case DeviceListCtrl::kColBuildDate:
            return 2;
        case DeviceListCtrl::kColKernel:
            return 3;
        default:
            return -1;
    }
}

}  // namespace

CFwbatchDlg::CFwbatchDlg(FwbatchDlgOptions options, QWidget* parent)
    : QDialog(parent),
      m_texts(options.texts != nullptr ? *options.texts : strings::FwbatchStrings()),
      m_options(std::move(options)),
      m_mailbox(std::make_shared<ui::WindowMailbox>(this)),
      m_discovery(ForFwbatch(m_options.discovery)),
      m_chooseFile([](QWidget* p, const QString& filter) {
          return QFileDialog::getOpenFileName(p, QString(), QString(), filter);
      }),
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
            m_getAiVersion->setEnabled(true);
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

CFwbatchDlg::LRESULT CFwbatchDlg::OnDeviceSearch(uintptr_t wParam, intptr_t lParam) {
    ui::TakeDeviceSearch(
        wParam, lParam,
        [this](std::unique_ptr<SEARCH_DEVICE_INFO> record) { OnDeviceAnswer(std::move(record)); },
        [this](std::unique_ptr<char[]> mac) { OnDeviceGone(mac.get()); });
    return 1;
}

bool CFwbatchDlg::InBatch(const char* mac, size_t capacity) const {
    if (!m_batch) {
        return false;
    }
    const std::string wanted = FieldString(mac, capacity);
    for (size_t i = 0; i < m_batch->Size(); ++i) {
        const std::string key =
            FieldString(m_batch->Record(i).deviceKey, sizeof m_batch->Record(i).deviceKey);
        if (std::equal(key.begin(), key.end(), wanted.begin(), wanted.end(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return true;
        }
    }
    return false;
}

bool CFwbatchDlg::AnyFinishing() const {
    if (!m_batch) {
        return false;
    }
    for (size_t i = 0; i < m_batch->Size(); ++i) {
        if (m_batch->Record(i).finishing.load()) {
            return true;
        }
    }
    return false;
}

void CFwbatchDlg::OnDeviceAnswer(std::unique_ptr<SEARCH_DEVICE_INFO> record) {
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    const bool inBatch = InBatch(record->mac, sizeof record->mac);
    int row = m_list->FindDevice(*record);
    const bool added = row < 0;
    if (added) {
        m_list->InsertTop(std::move(record));
        m_list->Renumber();
        row = 0;
    }
    const SEARCH_DEVICE_INFO& shown = added ? m_list->Record(row) : *record;
    m_list->WriteColumns(row, shown, m_texts);
    // While a batch runs its rows keep their build date and their progress.
    if (!m_busy) {
        const QString before = m_list->Text(row, DeviceListCtrl::kColBuildDate);
        const QString after = ui::FieldText(shown.softwareBuildDate);
        m_list->SetText(row, DeviceListCtrl::kColBuildDate, after);
        if (before.compare(after, Qt::CaseInsensitive) != 0 || inBatch) {
            m_list->SetText(row, DeviceListCtrl::kColResult, QString());
        }
    }
    if (!added) {
        m_list->ReplaceRecord(row, *record);
    }
}

void CFwbatchDlg::OnDeviceGone(const char* mac) {
    const QString upper = ui::DeviceTable::DisplayedMac(mac, kGoneMacBlockSize);
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    // A device of the batch may vanish from the search while it reboots
    // into its new image: once any device of the batch is finishing, the
    // batch's rows stay.
    if (InBatch(mac, kGoneMacBlockSize) && AnyFinishing()) {
        return;
    }
    const int row = m_list->FindText(DeviceListCtrl::kColMac, upper);
    if (row >= 0) {
        m_list->RemoveDeviceRow(row);
    }
}

void CFwbatchDlg::OnCheckBoxClicked(int /*row*/) {
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    bool any = false;
    bool same = true;
    std::string type;
    for (int row = 0; row < m_list->Rows(); ++row) {
        if (!m_list->IsChecked(row)) {
            continue;
        }
        const SEARCH_DEVICE_INFO& record = m_list->Record(row);
        const std::string model = FieldString(record.productModel, sizeof record.productModel);
        if (!any) {
            type = model;
            any = true;
        } else if (model != type) {
            same = false;
        }
    }
    const bool enable = any && same;
    m_chooseSameType->setEnabled(enable);
    if (enable) {
        m_selectedProductType = type;
    }
}

void CFwbatchDlg::OnSelectAll() {
    {
        std::lock_guard<std::recursive_mutex> lock(m_listLock);
        for (int row = 0; row < m_list->Rows(); ++row) {
            m_list->SetChecked(row, true);
        }
    }
    m_chooseSameType->setEnabled(false);
}

void CFwbatchDlg::OnClearAll() {
    {
        std::lock_guard<std::recursive_mutex> lock(m_listLock);
        for (int row = 0; row < m_list->Rows(); ++row) {
            m_list->SetChecked(row, false);
        }
    }
    m_chooseSameType->setEnabled(false);
}

void CFwbatchDlg::OnChooseSameType() {
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    for (int row = 0; row < m_list->Rows(); ++row) {
        const SEARCH_DEVICE_INFO& record = m_list->Record(row);
        if (FieldString(record.productModel, sizeof record.productModel) == m_selectedProductType) {
            m_list->SetChecked(row, true);
        }
    }
}

void CFwbatchDlg::OnColumnClick(int column) {
    const int slot = SortSlot(column);
    if (slot < 0 || m_busy) {
        return;
    }
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    m_list->SortByColumn(column, m_sortAscending[slot]);
    m_sortAscending[slot] = !m_sortAscending[slot];
}

void CFwbatchDlg::OnDblClickDevice(int row) {
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    if (row < 0 || row >= m_list->Rows()) {
        return;
    }
    PreparedDevice device;
    device.index = row;
    device.device = m_list->Record(row);
    const std::shared_ptr<ui::WindowMailbox> mailbox = m_mailbox;
    m_webPreparations.push_back(std::make_unique<AdapterJob>(
        m_nextJobId++, std::vector<PreparedDevice>{device}, true, m_options.adapterEnv,
        [mailbox](std::unique_ptr<PreparationResult> result) {
            mailbox->Post(msg::WM_ADAPTERS_PREPARED, 0,
                          reinterpret_cast<intptr_t>(result.release()), &FreePreparationBlock);
        }));
}

void CFwbatchDlg::OnBrowse() {
    const QString path = m_chooseFile ? m_chooseFile(this, LoadText(ids::kFileFilter)) : QString();
    if (!path.isEmpty()) {
        OnFileChosen(path);
    }
}

void CFwbatchDlg::OnFileChosen(const QString& path) {
    m_packagePath = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    m_pathEdit->setText(m_packagePath);
}

void CFwbatchDlg::OnUpgrade() {
    if (m_busy) {
        return;
    }
    if (m_packagePath.isEmpty()) {
        ShowMessage(ids::kMsgSelectFile);
        return;
    }
    // The checked devices as they are now; rows may move while adapters
    // are prepared, so each device is found again by its MAC text.
    std::vector<PreparedDevice> devices;
    {
        std::lock_guard<std::recursive_mutex> lock(m_listLock);
        for (int row = 0; row < m_list->Rows(); ++row) {
            if (m_list->IsChecked(row)) {
                PreparedDevice d;
                d.index = row;
                d.device = m_list->Record(row);
                devices.push_back(d);
            }
            m_list->SetText(row, DeviceListCtrl::kColResult, QString());
            m_list->SetToolTip(row, DeviceListCtrl::kColResult, QString());
        }
    }
    if (devices.empty()) {
        ShowMessage(ids::kMsgSelectDevice);
        return;
    }
    if (devices.size() > UpgradeBatch::kMaxParallel) {
        ShowMessage(ids::kMsgTooManyDevices);
        return;
    }

    EnterBusyState();
    auto settings = std::make_shared<UpgradeSettings>();
    settings->type = m_upgradeType->currentIndex();
    settings->userName = m_userNameEdit->text().toStdString();
    settings->password = m_passwordEdit->text().toStdString();
    settings->verify = m_verify->isChecked();
    QFile file(m_packagePath);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessage(ids::kResultOpenFileFailed);
        LeaveBusyState();
        return;
    }
    // Straight into the batch's buffer, one copy: packages of tens of MiB
    // are read here, on the window's thread.
    const qint64 size = file.size();
    if (size > 0) {
        settings->package.resize(static_cast<size_t>(size));
        const qint64 got = file.read(reinterpret_cast<char*>(settings->package.data()), size);
        settings->package.resize(static_cast<size_t>(std::max<qint64>(got, 0)));
    } else {
        const QByteArray bytes = file.readAll();  // no size known: read what there is
        settings->package.assign(bytes.begin(), bytes.end());
    }
    m_pendingSettings = std::move(settings);

    // Adapters are prepared off the window's thread; the batch starts when
    // every device is prepared.
    const std::shared_ptr<ui::WindowMailbox> mailbox = m_mailbox;
    m_upgradePreparation = std::make_unique<AdapterJob>(
        m_nextJobId++, std::move(devices), false, m_options.adapterEnv,
        [mailbox](std::unique_ptr<PreparationResult> result) {
            mailbox->Post(msg::WM_ADAPTERS_PREPARED, 0,
                          reinterpret_cast<intptr_t>(result.release()), &FreePreparationBlock);
        });
}

void CFwbatchDlg::OnAdaptersPrepared(std::unique_ptr<PreparationResult> result) {
    if (m_upgradePreparation && result->jobId == m_upgradePreparation->Id()) {
        m_upgradePreparation.reset();  // its worker has reported: joined at once
        StartBatch(*result);
        return;
    }
    for (auto it = m_webPreparations.begin(); it != m_webPreparations.end(); ++it) {
        if ((*it)->Id() != result->jobId) {
            continue;
        }
        m_webPreparations.erase(it);
        if (result->devices.empty()) {
            return;
        }
        const PreparedDevice& d = result->devices.front();
        const QString host = QString::fromStdString(platform::FormatIPv4(d.addressToUse));
        const QString url = d.device.httpPort == 80
                                ? QStringLiteral("http://%1").arg(host)
                                : QStringLiteral("http://%1:%2").arg(host).arg(d.device.httpPort);
        if (m_openUrl) {
            m_openUrl(QUrl(url));
        }
        return;
    }
}

void CFwbatchDlg::StartBatch(const PreparationResult& prepared) {
    const std::shared_ptr<ui::WindowMailbox> mailbox = m_mailbox;
    {
        std::lock_guard<std::recursive_mutex> lock(m_listLock);
        FreeUpdateRecords();
        m_batch = std::make_unique<UpgradeBatch>(
            std::move(m_pendingSettings),
            [mailbox](int index, int percent) {
                mailbox->Post(winmsg::WM_UPGRADE_PROGRESS, static_cast<uintptr_t>(index), percent);
            },
            [mailbox](int index, const UpgradeReport& report) {
                if (report.versionBefore != 0) {
                    auto versions = std::make_unique<msg::UpgradeVersions>();
                    versions->before = report.versionBefore;
                    versions->after = report.versionAfter;
                    mailbox->Post(msg::WM_UPGRADE_VERSIONS, static_cast<uintptr_t>(index),
                                  reinterpret_cast<intptr_t>(versions.release()), &FreeVersionsBlock);
                }
                mailbox->Post(winmsg::WM_UPGRADE_RESULT, static_cast<uintptr_t>(index), report.code);
            },
            m_options.upgrade);
        for (const PreparedDevice& d : prepared.devices) {
            m_batch->Add(MakeUpdateRecord(d.index, d.device));
        }
    }
    m_batch->Start();
}

void CFwbatchDlg::FreeUpdateRecords() {
    // Joins the workers: each has reported already unless the window is
    // closing, when they were cancelled.
    m_batch.reset();
}

CFwbatchDlg::LRESULT CFwbatchDlg::OnUpgradeProgress(uintptr_t wParam, intptr_t lParam) {
    const auto index = static_cast<int>(wParam);
    char text[16];
    std::snprintf(text, sizeof text, "%d%%", static_cast<int>(lParam));
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    if (!m_batch) {
        return 1;  // late: its batch is gone
    }
    for (size_t i = 0; i < m_batch->Size(); ++i) {
        const _update_Info& record = m_batch->Record(i);
        if (record.index != index) {
            continue;
        }
        if (record.done) {
            return 1;  // after the device's result
        }
        for (int row = 0; row < m_list->Rows(); ++row) {
            if (KeyMatches(record.deviceKey, m_list->Record(row))) {
                if (m_list->IsChecked(row)) {
                    m_list->SetText(row, DeviceListCtrl::kColResult, QString::fromLatin1(text));
                }
                break;
            }
        }
        return 1;
    }
    return 1;
}

CFwbatchDlg::LRESULT CFwbatchDlg::OnUpgradeResult(uintptr_t wParam, intptr_t lParam) {
    const auto index = static_cast<int>(wParam);
    const QString text = LoadText(UpgradeResultStringId(static_cast<int>(lParam)));
    bool complete = false;
    {
        std::lock_guard<std::recursive_mutex> lock(m_listLock);
        if (!m_batch) {
            return 1;  // late: its batch is gone
        }
        std::vector<const char*> keys;
        for (size_t i = 0; i < m_batch->Size(); ++i) {
            const _update_Info& record = m_batch->Record(i);
            if (record.index == index && !record.done) {
                keys.push_back(record.deviceKey);
            }
        }
        if (keys.empty()) {
            return 1;  // not of this batch, or already counted
        }
        m_batch->MarkDone(index);
        for (const char* key : keys) {
            for (int row = 0; row < m_list->Rows(); ++row) {
                if (m_list->IsChecked(row) &&
                    std::memcmp(key, m_list->Record(row).mac, sizeof(_update_Info::deviceKey)) == 0) {
                    m_list->SetText(row, DeviceListCtrl::kColResult, text);
                    m_list->SetChecked(row, false);
                }
            }
        }
        complete = m_batch->Complete();
    }
    if (complete) {
        FreeUpdateRecords();
        LeaveBusyState();
    }
    return 1;
}

void CFwbatchDlg::OnUpgradeVersions(uintptr_t index, const msg::UpgradeVersions& versions) {
    const auto versionText = [](uint32_t word) {
        return word == 0 ? QStringLiteral("-")
                         : QStringLiteral("%1.%2.%3.%4")
                               .arg(word >> 24)
                               .arg((word >> 16) & 0xFF)
                               .arg((word >> 8) & 0xFF)
                               .arg(word & 0xFF);
    };
    const QString tip = versions.after != 0
                            ? versionText(versions.before) + QStringLiteral(" \u2192 ") + versionText(versions.after)
                            : versionText(versions.before);
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    if (!m_batch) {
        return;  // late: its batch is gone
    }
    for (size_t i = 0; i < m_batch->Size(); ++i) {
        const _update_Info& record = m_batch->Record(i);
        if (record.index != static_cast<int>(index) || record.done) {
            continue;
        }
        for (int row = 0; row < m_list->Rows(); ++row) {
            if (KeyMatches(record.deviceKey, m_list->Record(row))) {
                m_list->SetToolTip(row, DeviceListCtrl::kColResult, tip);
            }
        }
    }
}

void CFwbatchDlg::EnterBusyState() {
    m_busy = true;
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_browse, m_upgradeType, m_selectAll, m_clearAll, m_chooseSameType, m_upgrade, m_list, m_verify}) {
        control->setEnabled(false);
    }
    m_busyAnimation->show();
    m_busyText->show();
}

void CFwbatchDlg::LeaveBusyState() {
    m_busy = false;
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_browse, m_upgradeType, m_selectAll, m_clearAll, m_chooseSameType, m_upgrade, m_list, m_verify}) {
        control->setEnabled(true);
    }
    m_busyAnimation->hide();
    m_busyText->hide();
}

void CFwbatchDlg::OnGetAiVersion() {
    if (m_aiJob) {
        return;
    }
    const std::string userName = m_userNameEdit->text().toStdString();
    const std::string password = m_passwordEdit->text().toStdString();
    std::vector<DEVICE_PARAM> entries;
    {
        std::lock_guard<std::recursive_mutex> lock(m_listLock);
        for (int row = 0; row < m_list->Rows(); ++row) {
            if (m_list->IsChecked(row)) {
                const SEARCH_DEVICE_INFO& record = m_list->Record(row);
                DEVICE_PARAM entry;
                entry.deviceKey = FieldString(record.mac, sizeof record.mac);
                entry.firstAddress = FieldString(record.ip[0], sizeof record.ip[0]);
                entry.secondAddress = FieldString(record.ip[1], sizeof record.ip[1]);
                entry.commandPort = static_cast<uint32_t>(record.dataPort);
                entry.userName = userName;
                entry.password = password;
                entries.push_back(std::move(entry));
            }
            m_list->SetText(row, DeviceListCtrl::kColResult, QString());
        }
    }
    if (entries.empty()) {
        ShowMessage(ids::kMsgSelectAiDevice);
        return;
    }
    m_getAiVersion->setEnabled(false);
    m_aiJob = std::make_unique<AiQueryJob>(std::move(entries), m_options.ai, m_mailbox);
}

CFwbatchDlg::LRESULT CFwbatchDlg::OnAiVersionResult(uintptr_t wParam, intptr_t lParam) {
    std::unique_ptr<AiQueryResult> result(reinterpret_cast<AiQueryResult*>(lParam));
    if (!result || (wParam != kAiVersionsReceived && wParam != kAiQueryFailed)) {
        return 1;
    }
    std::lock_guard<std::recursive_mutex> lock(m_listLock);
    for (int row = 0; row < m_list->Rows(); ++row) {
        const SEARCH_DEVICE_INFO& record = m_list->Record(row);
        if (!m_list->IsChecked(row) ||
            FieldString(record.mac, sizeof record.mac) != result->deviceKey) {
            continue;
        }
        if (wParam == kAiVersionsReceived && !result->versions.AllEmpty()) {
            m_list->SetText(row, DeviceListCtrl::kColAiStruct,
                            QString::fromStdString(result->versions.structure));
            m_list->SetText(row, DeviceListCtrl::kColAiFace,
                            QString::fromStdString(result->versions.face));
            m_list->SetText(row, DeviceListCtrl::kColAiVehicle,
                            QString::fromStdString(result->versions.vehicle));
        }
        result->code = static_cast<int>(wParam);
        m_list->SetText(row, DeviceListCtrl::kColResult, LoadText(AiResultStringId(*result)));
        break;
    }
    return 1;
}

void CFwbatchDlg::OnToggleAiColumns() {
    SetAiColumnsShown(!m_aiColumnsShown);
}

void CFwbatchDlg::SetAiColumnsShown(bool shown) {
    m_list->ShowAiColumns(shown);
    m_aiColumnsShown = shown;
    m_toggleAi->setText(LoadText(shown ? ids::kHideAiColumns : ids::kShowAiColumns));
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
