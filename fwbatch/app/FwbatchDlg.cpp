#include "fwbatch/app/FwbatchDlg.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>


#include "discovery/WindowMessages.h"
#include "fwbatch/app/AboutDlg.h"
#include "fwbatch/app/AiQueryJob.h"
#include "fwbatch/app/DeviceListCtrl.h"
#include "fwbatch/app/FwbatchControls.h"
#include "fwbatch/app/FwbatchDlgSupport.h"
#include "fwbatch/app/FwbatchMessages.h"
#include "fwbatch/engine/FwbatchStringIds.h"
#include "strings/EmbeddedStrings.h"
#include "ui/BusyAnimation.h"
#include "ui/DialogUnits.h"
#include "ui/FleetMenu.h"

// The program's pictures (resources/fwbatch/fwbatch.qrc) live in a static
// library: register them before first use.
static void InitFwbatchResources() {
    Q_INIT_RESOURCE(fwbatch);
}

namespace fwbatch {
namespace {

constexpr const char* kIcon = ":/fwbatch/fwbatch.png";
// The template's own caption of 1019, kept in every language.
constexpr char16_t kAiButtonCaption[] = u"获取AI版本";

const ui::DeviceWindowProgram kFwbatch{discovery::Program::Fwbatch, discovery::kFwbatchRules,
                                       &strings::FwbatchStrings};

}  // namespace

QString CFwbatchDlg::ChoosePackageFile(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

CFwbatchDlg::CFwbatchDlg(FwbatchDlgOptions options, QWidget* parent)
    : ui::DeviceWindow(options, kFwbatch, parent),
      m_options(std::move(options)),
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
    ShutDownWindow();
}

QString CFwbatchDlg::VersionText() {
    return QStringLiteral(FWBATCH_VERSION_TEXT);
}

void CFwbatchDlg::CreateControls() {
    BuildFromTemplate(ctl::kTemplate102.data(), ctl::kTemplate102.size(), ctl::kWindowWidth, ctl::kWindowHeight,
                      ctl::kFontPointSize, Qt::WindowMinimizeButtonHint,
                      [this](const ui::ControlTemplate& t) -> QWidget* {
                          if (t.kind == ctl::Kind::kListView) {
                              return m_list = new DeviceListCtrl(this);
                          }
                          if (t.kind == ctl::Kind::kPicture) {
                              return m_busyAnimation = new ui::BusyAnimation(this);
                          }
                          return nullptr;
                      });
    ControlById(ctl::kUpgradeGroup)->lower();

    TakeCommonControls(ctl::kCommon);
    m_chooseSameType = static_cast<QPushButton*>(ControlById(ctl::kChooseSameType));
    m_getAiVersion = static_cast<QPushButton*>(ControlById(ctl::kGetAiVersion));
    m_toggleAi = static_cast<QPushButton*>(ControlById(ctl::kToggleAiColumns));
    m_upgradeType = static_cast<QComboBox*>(ControlById(ctl::kUpgradeType));
    m_upgrade = static_cast<QPushButton*>(ControlById(ctl::kUpgrade));
    // Verifying is an addition to the template: the free space right of the
    // upgrade type box, above Browse, takes it. Unchecked: the window
    // upgrades as it always did.
    m_verify = new QCheckBox(LoadText(ids::kVerify), this);
    m_verify->setObjectName(QStringLiteral("verify"));
    m_verify->setGeometry(ui::DialogUnits(font()).Rect(450, 341, 60, 12));

    connect(m_chooseSameType, &QPushButton::clicked, this, [this] { OnChooseSameType(); });
    connect(m_getAiVersion, &QPushButton::clicked, this, [this] { OnGetAiVersion(); });
    connect(m_toggleAi, &QPushButton::clicked, this, [this] { OnToggleAiColumns(); });
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
    StartDeviceList(*m_list);

    m_toggleAi->setText(LoadText(ids::kShowAiColumns));
    m_getAiVersion->setText(QString::fromUtf16(kAiButtonCaption));
    m_chooseSameType->setEnabled(false);

    PrepareBusyAnimation();
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

    StartSearch();
}

// Workers first at the window's end: cancelled, then waited for, so nothing
// they hold outlives the window.
void CFwbatchDlg::StopWorkers() {
    QCoreApplication::instance()->removeEventFilter(this);
    if (m_batch) {
        m_batch->Cancel();
    }
    m_upgradePreparation.reset();
    m_webPreparations.clear();
    m_aiJob.reset();
    FreeUpdateRecords();
}

void CFwbatchDlg::Credentials(std::string& user, std::string& password) const {
    user = m_userNameEdit->text().toStdString();
    password = m_passwordEdit->text().toStdString();
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

void CFwbatchDlg::OnWindowMessage(ui::WindowMessageEvent& message) {
    const uintptr_t wParam = message.WParam();
    const intptr_t lParam = message.LParam();
    switch (message.Message()) {
        case winmsg::WM_UPGRADE_RESULT:
            OnUpgradeResult(wParam, lParam);
            break;
        case winmsg::WM_UPGRADE_PROGRESS:
            OnUpgradeProgress(wParam, lParam);
            break;
        case winmsg::WM_AI_VERSION_RESULT:
            OnAiVersionResult(wParam, message.TakeLParam());
            break;
        case msg::WM_AI_COLUMNS_SHOW:
            SetAiColumnsShown(true);
            break;
        case msg::WM_AI_QUERY_DONE:
            m_aiJob.reset();  // its worker has posted its last message
            LeaveBusyState();
            Fleet()->RunEnded();
            break;
        case msg::WM_UPGRADE_VERSIONS: {
            const std::unique_ptr<msg::UpgradeVersions> versions(
                reinterpret_cast<msg::UpgradeVersions*>(message.TakeLParam()));
            OnUpgradeVersions(wParam, *versions);
            break;
        }
        case msg::WM_ADAPTERS_PREPARED:
            OnAdaptersPrepared(
                std::unique_ptr<PreparationResult>(
                    reinterpret_cast<PreparationResult*>(message.TakeLParam())));
            break;
        default:
            break;
    }
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

}  // namespace fwbatch
