#include "GuiTestSupport.h"


#include <cstdlib>

#include "cfgpush/app/CfgpushApp.h"
#include "cfgpush/app/DeviceListCtrl.h"
#include "ui/MessageBox.h"

namespace guitest {

QString ScreenshotDir() {
    return ScreenshotDir(CAMPREP_SCREENSHOT_DIR);
}

void CfgpushWindowTest::SetUp() {
    nstest::PrivateNetnsTest::SetUp();
    if (IsSkipped()) {
        return;
    }
    ui::SetMessageBoxObserver([this](const QString& caption, const QString& text) {
        EXPECT_EQ(caption, QStringLiteral("cfgpush"));
        m_messages.push_back(text);
        return true;
    });
}

void CfgpushWindowTest::TearDown() {
    CloseWindow();
    ui::SetMessageBoxObserver({});
    m_workers.JoinAll();
}

cfgpush::CCfgpushDlg& CfgpushWindowTest::OpenWindow(const char* locale,
                                                    cfgpush::CfgpushDlgOptions options) {
    setenv("LC_ALL", locale, 1);
    unsetenv("LC_MESSAGES");
    setenv("LANG", locale, 1);
    if (options.texts == nullptr) {
        options.texts = &cfgpush::CCfgpushApp::Strings(cfgpush::CCfgpushApp::InterfaceLanguage());
    }
    m_window = std::make_unique<cfgpush::CCfgpushDlg>(m_workers, std::move(options));
    return *m_window;
}

void CfgpushWindowTest::CloseWindow() {
    if (m_window) {
        m_window->close();
        m_window.reset();
    }
}

void CfgpushWindowTest::PostReport(const std::string& mac, int kind, const std::string& xml) {
    cfgpush::CCfgpushDlg::SearchResultCallback(mac.c_str(), kind, xml.c_str(), m_window.get());
}

QString CfgpushWindowTest::ControlText(int id) {
    return guitest::ControlText(m_window->ControlById(id));
}

void CfgpushWindowTest::Click(int id) {
    guitest::ClickButton(m_window->ControlById(id));
}

std::vector<QString> CfgpushWindowTest::MacColumn() {
    std::vector<QString> macs;
    const cfgpush::DeviceListCtrl& list = m_window->DeviceList();
    for (int row = 0; row < list.Rows(); ++row) {
        macs.push_back(list.Text(row, cfgpush::DeviceListCtrl::kColMac));
    }
    return macs;
}

int CfgpushWindowTest::RowOf(const QString& upperMac) {
    const std::vector<QString> macs = MacColumn();
    for (size_t i = 0; i < macs.size(); ++i) {
        if (macs[i] == upperMac) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace guitest
