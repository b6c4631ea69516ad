#include "cfgpush/app/CfgpushDlg.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "cfgpush/app/CfgpushControls.h"
#include "cfgpush/app/DeviceListCtrl.h"
#include "cfgpush/app/LogoFrame.h"
#include "cfgpush/engine/CfgpushStringIds.h"
#include "discovery/WindowMessages.h"
#include "strings/EmbeddedStrings.h"
#include "ui/BusyAnimation.h"

namespace cfgpush {
namespace {

constexpr const char* kVersionSuffix = " 5.0.0.3";

const ui::DeviceWindowProgram kCfgpush{discovery::Program::Cfgpush, discovery::kCfgpushRules,
                                       &strings::CfgpushStrings};

}  // namespace

CCfgpushDlg::CCfgpushDlg(PushWorkerGroup& workers, CfgpushDlgOptions options, QWidget* parent)
    : ui::DeviceWindow(options, kCfgpush, parent),
      m_options(std::move(options)),
      m_workers(workers),
      m_chooseFile(&CCfgpushDlg::ChooseFacFile) {
    CreateControls();
    OnInitDialog();
}

CCfgpushDlg::~CCfgpushDlg() {
    // Push workers belong to the application and outlive the window: they
    // can no longer post once it has shut down.
    ShutDownWindow();
}

std::string CCfgpushDlg::LowBytes(const QString& text) {
    return LowBytesOfUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                               static_cast<size_t>(text.size())));
}

void CCfgpushDlg::Credentials(std::string& user, std::string& password) const {
    user = LowBytes(m_userNameEdit->text());
    password = LowBytes(m_passwordEdit->text());
}

// Builds the controls of template 102.
void CCfgpushDlg::CreateControls() {
    BuildFromTemplate(ctl::kTemplate102.data(), ctl::kTemplate102.size(), ctl::kWindowWidth, ctl::kWindowHeight,
                      ctl::kFontPointSize, {}, [this](const ui::ControlTemplate& t) -> QWidget* {
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

    TakeCommonControls(ctl::kCommon);
    m_setDefault = static_cast<QPushButton*>(ControlById(ctl::kSetDefaultConfig));
    m_productType = static_cast<QComboBox*>(ControlById(ctl::kProductType));
    m_customerCode = static_cast<QComboBox*>(ControlById(ctl::kCustomerCode));
    m_pictureType = static_cast<QComboBox*>(ControlById(ctl::kPictureType));

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

    m_list->SetupColumns(m_texts);
    StartDeviceList(*m_list);

    m_pictureType->addItem(QStringLiteral("JPG( 3.4 )"));
    m_pictureType->addItem(QStringLiteral("PNG( 4.0 )"));
    m_pictureType->setCurrentIndex(0);
    m_pictureType->setEnabled(false);

    PrepareBusyAnimation();

    StartSearch();
    m_packagePath.clear();
}

void CCfgpushDlg::OnWindowMessage(ui::WindowMessageEvent& message) {
    if (message.Message() == winmsg::WM_PUSH_RESULT) {
        OnPushResult(message.WParam(), message.LParam());
    }
}

void CCfgpushDlg::OnDeviceAnswer(std::unique_ptr<SEARCH_DEVICE_INFO> record, bool addedByAddress,
                                 const std::string& key) {
    m_list->OnDeviceAnswer(std::move(record), key, addedByAddress);
}

}  // namespace cfgpush
