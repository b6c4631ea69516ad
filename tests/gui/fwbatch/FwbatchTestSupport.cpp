#include "FwbatchTestSupport.h"


#include <cstdlib>

#include "fwbatch/app/FwbatchApp.h"
#include "ui/MessageBox.h"

namespace fwtest {

QString ScreenshotDir() {
    return guitest::ScreenshotDir(CAMPREP_SCREENSHOT_DIR);
}

QString Package(const char* name) {
    return QStringLiteral(CAMPREP_TEST_DATA_DIR "/fwbatch/") + QString::fromLatin1(name);
}

void FwbatchWindowTest::SetUp() {
    nstest::PrivateNetnsTest::SetUp();
    if (IsSkipped()) {
        return;
    }
    ui::SetMessageBoxObserver([this](const QString& caption, const QString& text) {
        EXPECT_EQ(caption, QStringLiteral("fwbatch"));
        m_messages.push_back(text);
        return true;
    });
}

void FwbatchWindowTest::TearDown() {
    CloseWindow();
    ui::SetMessageBoxObserver({});
    if (m_sim) {
        m_sim->Stop();
    }
}

fwbatch::FwbatchDlgOptions FwbatchWindowTest::QuickOptions() {
    fwbatch::FwbatchDlgOptions options;
    // The connection procedure's adapter attempts need host addresses; the
    // namespace has none worth trying.
    options.upgrade.connectEnv.hostAddresses = [] { return std::vector<std::string>{}; };
    options.upgrade.timings.connectMs = 3000;
    options.upgrade.timings.greetingMs = 1000;
    options.ai.connectEnv.hostAddresses = [] { return std::vector<std::string>{}; };
    options.ai.timings.greetingMs = 1000;
    return options;
}

fwbatch::CFwbatchDlg& FwbatchWindowTest::OpenWindow(const char* locale,
                                                    fwbatch::FwbatchDlgOptions options) {
    setenv("LC_ALL", locale, 1);
    unsetenv("LC_MESSAGES");
    setenv("LANG", locale, 1);
    if (options.texts == nullptr) {
        options.texts = &fwbatch::CFwbatchApp::Strings(fwbatch::CFwbatchApp::InterfaceLanguage());
    }
    m_window = std::make_unique<fwbatch::CFwbatchDlg>(std::move(options));
    m_window->SetUrlOpener([this](const QUrl& url) {
        m_opened.push_back(url);
        return true;
    });
    m_window->SetFileChooser([](QWidget*, const QString&) { return QString(); });
    return *m_window;
}

void FwbatchWindowTest::CloseWindow() {
    if (m_window) {
        m_window->close();
        m_window.reset();
    }
}

sim::DeviceConfig FwbatchWindowTest::Device(size_t index) {
    sim::DeviceConfig d = sim::DefaultDevice(index);
    d.identity.softwareVer = "5.0.0.0";
    d.identity.dataPort = 0;
    d.identity.devName = "sim-" + std::to_string(index);
    d.behaviour.pieceDelayMs = 0;
    d.behaviour.writeImageMs = 0;
    return d;
}

void FwbatchWindowTest::StartFleet(std::vector<sim::DeviceConfig> devices) {
    m_sim = std::make_unique<sim::Simulator>(std::move(devices));
    std::string error;
    ASSERT_TRUE(m_sim->Start(&error)) << error;
}

void FwbatchWindowTest::PostSimDevice(size_t index) {
    PostReport(m_sim->Mac(index), 1, m_sim->SearchAnswer(index));
}

QString FwbatchWindowTest::SimMac(size_t index) const {
    return QString::fromStdString(m_sim->Mac(index)).toUpper();
}

void FwbatchWindowTest::PostReport(const std::string& mac, int kind, const std::string& xml) {
    fwbatch::CFwbatchDlg::SearchResultCallback(mac.c_str(), kind, xml.c_str(), m_window.get());
}

QString FwbatchWindowTest::ControlText(int id) {
    return guitest::ControlText(m_window->ControlById(id));
}

void FwbatchWindowTest::Click(int id) {
    guitest::ClickButton(m_window->ControlById(id));
}

std::vector<QString> FwbatchWindowTest::Column(int column) {
    std::vector<QString> texts;
    for (int row = 0; row < List().Rows(); ++row) {
        texts.push_back(List().Text(row, column));
    }
    return texts;
}

int FwbatchWindowTest::RowOf(const QString& upperMac) {
    return List().FindText(fwbatch::DeviceListCtrl::kColMac, upperMac);
}

QString FwbatchWindowTest::Cell(const QString& upperMac, int column) {
    const int row = RowOf(upperMac);
    return row < 0 ? QStringLiteral("<no row>") : List().Text(row, column);
}

void FwbatchWindowTest::StartUpgrade(const char* package) {
    Window().OnFileChosen(Package(package));
    Click(1008);
    ASSERT_TRUE(Window().Busy());
    ASSERT_TRUE(guitest::WaitUntil([&] { return Window().BatchExists() || !Window().Busy(); }));
}

bool FwbatchWindowTest::WaitIdle(int limitMs) {
    return guitest::WaitUntil([&] { return !Window().Busy(); }, limitMs);
}

}  // namespace fwtest
