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

std::string LowBytes(const QString& text) {
    return LowBytesOfUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                               static_cast<size_t>(text.size())));
}

bool NameHasPreviewExtension(std::string_view name) {
    for (const char* extension : {".jpg", ".png", ".JPG", ".PNG"}) {
        if (name.find(extension) != std::string_view::npos) {
            return true;
        }
    }
    return false;
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
    m_discovery.Stop();
    m_mailbox->Detach();
    // Messages already queued are deleted unhandled; their blocks go with them.
    QCoreApplication::removePostedEvents(this, ui::WindowMessageEvent::EventType());
    m_list->FreeAllRecords();
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
        [this](std::unique_ptr<SEARCH_DEVICE_INFO> record) { m_list->OnDeviceAnswer(std::move(record)); },
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

QString CCfgpushDlg::ChooseFacFile(QWidget* parent) {
    // The same filter text in every interface language.
    return QFileDialog::getOpenFileName(parent, QString(), QString(),
                                        QStringLiteral(u"升级文件 (*.fac)"));
}

void CCfgpushDlg::OnBrowse() {
    const QString path = m_chooseFile ? m_chooseFile(this) : QString();
    if (path.isEmpty()) {
        return;  // cancelled: nothing changes
    }
    OnFileChosen(path);
}

void CCfgpushDlg::OnFileChosen(const QString& path) {
    m_packagePath = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    m_pathEdit->setText(m_packagePath);
    LoadPackage();
    if (m_package.PicturesPresent() == 1) {
        ShowTitlePreview();
    }
}

void CCfgpushDlg::LoadPackage() {
    m_package.Clear();
    m_productType->clear();
    m_customerCode->clear();
    int openErrno = 0;
    const FacLoadResult result =
        m_package.Load(QFile::encodeName(m_packagePath).toStdString(), &openErrno);
    if (result == FacLoadResult::kCannotOpen) {
        platform::DiagPrintf("cannot open the package: errno %d\n", openErrno);
        return;  // nothing is said to the operator
    }
    if (result == FacLoadResult::kBadFormat) {
        ShowMessage(ids::kMsgBadFileFormat);
        return;
    }
    const std::string_view code = m_package.CustomerCode();
    m_customerCode->addItem(LoadText(ids::kCustomerCodeNone));
    m_customerCode->addItem(
        QString::fromLocal8Bit(code.data(), static_cast<qsizetype>(code.size())));
    m_customerCode->setCurrentIndex(0);
    // The box is sorted: the entries go in in the box's order, each tied to
    // its product entry by its item data.
    for (const ProductTypeEntry& entry : m_package.ProductTypesInBoxOrder()) {
        m_productType->addItem(QString::fromLocal8Bit(entry.name), entry.entryNumber);
    }
    if (m_productType->count() > 0) {
        m_productType->setCurrentIndex(0);
    }
}

void CCfgpushDlg::ShowTitlePreview() {
    const FAC_BLOCK_INFO& slot = m_package.PictureSlot(PictureKind::kTitleLogo);
    if (!NameHasPreviewExtension(BlockName(slot))) {
        return;  // the frame keeps what it shows
    }
    const std::vector<uint8_t> bytes = m_package.DecipherBlock(slot);
    QImage image;
    if (!bytes.empty()) {
        image.loadFromData(bytes.data(), static_cast<int>(bytes.size()));
    }
    m_logo->ShowBitmap(image);  // one that does not decode leaves an empty frame
}

void CCfgpushDlg::OnLogoSelChange() {
    if (m_customerCode->currentText() == LoadText(ids::kCustomerCodeNone)) {
        m_pictureType->setEnabled(false);
        m_logo->RemoveBitmap();
        return;
    }
    ShowTitlePreview();
}

void CCfgpushDlg::OnSetDefaultConfig() {
    if (m_busy) {
        return;
    }
    m_jobs.Clear();
    m_userName = m_userNameEdit->text();
    m_password = m_passwordEdit->text();

    const int rows = m_list->Rows();
    bool anyChecked = false;
    for (int row = 0; row < rows && !anyChecked; ++row) {
        anyChecked = m_list->IsChecked(row);
    }
    if (!anyChecked) {
        ShowMessage(ids::kMsgSelectDevice);
        return;
    }
    if (m_productType->currentText().isEmpty()) {
        ShowMessage(ids::kMsgImportFileFirst);
        return;
    }
    const auto entryNumber = static_cast<int32_t>(m_productType->currentData().toInt());
    if (!BuildItemLists(m_package, entryNumber, m_itemLists)) {
        ShowMessage(ids::kMsgFileIncorrect);
        return;
    }

    // Every worker of the previous push has reported, and reporting is its
    // last act: joining them now takes no time and keeps finished threads
    // from piling up over a long session.
    m_workers.JoinAll();
    EnterBusyState();
    // Each job gets its own copy of the credentials: a worker never reads
    // the window.
    const std::string userName = LowBytes(m_userName);
    const std::string password = LowBytes(m_password);
    const std::shared_ptr<ui::WindowMailbox> mailbox = m_mailbox;
    for (int row = 0; row < rows; ++row) {
        if (m_list->IsChecked(row)) {
            const PushTarget target = PushTargetFromRecord(m_list->Record(row));
            _file_cfg_info job;
            const bool made =
                MakePushJob(row, target, userName, password, m_itemLists, m_package, job);
            m_jobs.Add(row, made ? std::string(job.mac) : target.mac.substr(0, sizeof job.mac - 1));
            if (made) {
                m_workers.Start(
                    std::move(job),
                    [mailbox](int rowIndex, int code) {
                        mailbox->Post(winmsg::WM_PUSH_RESULT, static_cast<uintptr_t>(rowIndex),
                                      code);
                    },
                    m_options.push);
            } else {
                // No payload could be built: the row fails like a refused push.
                const int code = IsVersion3Software(target.softwareVersion) ? kPushVersion3Failed
                                                                            : kPushVersion4Failed;
                mailbox->Post(winmsg::WM_PUSH_RESULT, static_cast<uintptr_t>(row), code);
            }
        }
        m_list->SetResultText(row, QString());
    }
}

CCfgpushDlg::LRESULT CCfgpushDlg::OnPushResult(uintptr_t wParam, intptr_t lParam) {
    const auto rowIndex = static_cast<int32_t>(wParam);
    const auto code = static_cast<int>(lParam);
    const QString text = LoadText(PushResultStringId(code));
    // Rows move while a push runs (new devices come in at the top): the
    // result goes to every row of the job's device, found by MAC.
    if (const PushJobList::Entry* job = m_jobs.Report(rowIndex)) {
        for (int row = 0; row < m_list->Rows(); ++row) {
            const SEARCH_DEVICE_INFO& record = m_list->Record(row);
            if (std::string_view(record.mac, strnlen(record.mac, sizeof record.mac)) == job->mac) {
                m_list->SetResultText(row, text);
            }
        }
    }
    // The push is over when every job of it has reported, whatever rows
    // were checked or unchecked meanwhile.
    if (m_busy && m_jobs.Complete()) {
        LeaveBusyState();
    }
    return 1;
}

void CCfgpushDlg::EnterBusyState() {
    m_busy = true;
    for (QPushButton* button : {m_browse, m_setDefault, m_selectAll, m_clearAll}) {
        button->setEnabled(false);
    }
    m_busyAnimation->show();
    m_busyText->show();
}

void CCfgpushDlg::LeaveBusyState() {
    m_busy = false;
    for (QPushButton* button : {m_browse, m_setDefault, m_selectAll, m_clearAll}) {
        button->setEnabled(true);
    }
    m_busyAnimation->hide();
    m_busyText->hide();
}

void CCfgpushDlg::ShowMessage(uint32_t stringId) {
    ui::ShowMessageBox(this, m_options.programName, LoadText(stringId));
}

}  // namespace cfgpush
