// The push through the window, against simulated devices on loopback in
// the test's own network namespace: the refusals, the busy state, one
// worker per checked row, results written by MAC while rows move, the
// completion of a push, closing the window while workers run, and the
// screenshots of the window with results.

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QMenu>
#include <QTemporaryDir>

#include <chrono>
#include <string>

#include "GuiTestSupport.h"
#include "cfgpush/app/DeviceListCtrl.h"
#include "cfgpush/app/LogoFrame.h"
#include "cfgpush/engine/FacWriter.h"
#include "common/report/RunReport.h"
#include "discovery/WindowMessages.h"
#include "sim/Simulator.h"
#include "tests/support/HangGuard.h"
#include "ui/FleetMenu.h"

namespace {

using cfgpush::DeviceListCtrl;
using guitest::CfgpushWindowTest;
using guitest::DeviceAnswer;

QString Fac(const char* name) {
    return QStringLiteral(CAMPREP_TEST_DATA_DIR "/fac/") + QString::fromLatin1(name);
}

// Nothing listens at this loopback address in the test's namespace.
constexpr const char* kUnreachableAddress = "127.0.0.250";
constexpr const char* kUnreachableMac = "02:00:00:00:00:99";

struct ResultSeen {
    int row = 0;
    int code = 0;
    bool busy = false;
    bool buttonsEnabled = false;
    bool busyShown = false;
};

class PushWindowTest : public CfgpushWindowTest {
protected:
    void TearDown() override {
        CfgpushWindowTest::TearDown();  // the window first, its workers joined
        if (m_sim) {
            m_sim->Stop();
        }
    }

    // Starts simulated devices, any free port each on its own loopback address.
    void StartFleet(std::vector<sim::DeviceConfig> devices) {
        m_sim = std::make_unique<sim::Simulator>(std::move(devices));
        std::string error;
        ASSERT_TRUE(m_sim->Start(&error)) << error;
    }
    static sim::DeviceConfig Device(size_t index, const std::string& version) {
        sim::DeviceConfig d = sim::DefaultDevice(index);
        d.identity.softwareVer = version;
        d.identity.dataPort = 0;
        d.identity.devName = "sim-" + std::to_string(index);
        return d;
    }

    cfgpush::CfgpushDlgOptions PushOptions() {
        cfgpush::CfgpushDlgOptions options;
        // The connection procedure's adapter attempts need host addresses;
        // the namespace has none worth trying.
        options.push.connectEnv.hostAddresses = [] { return std::vector<std::string>{}; };
        return options;
    }

    // The simulated device's own search answer, through the search callback.
    void PostSimDevice(size_t index) {
        PostReport(m_sim->Mac(index), 1, m_sim->SearchAnswer(index));
    }
    void PostUnreachable() {
        DeviceAnswer answer;
        answer.devName = "gone-away";
        answer.ip[0] = answer.ip[1] = kUnreachableAddress;
        answer.dataPort = 9;
        PostAnswer(kUnreachableMac, answer);
    }

    bool ButtonsEnabled() {
        bool all = true;
        for (int id : {1001, 1002, 1004, 1005}) {
            all = all && Window().ControlById(id)->isEnabled();
        }
        return all;
    }
    bool ButtonsDisabled() {
        bool none = true;
        for (int id : {1001, 1002, 1004, 1005}) {
            none = none && !Window().ControlById(id)->isEnabled();
        }
        return none;
    }
    bool BusyShown() {
        return !Window().ControlById(1006)->isHidden() && !Window().ControlById(1007)->isHidden();
    }

    // Records the window's state after every result it handles; `onResult`
    // runs first (with the number of results so far).
    void WatchResults(std::function<void(size_t)> onResult = {}) {
        Window().SetMessageObserver([this, onResult](uint32_t message, uintptr_t w, intptr_t l) {
            if (message != winmsg::WM_PUSH_RESULT) {
                return;
            }
            m_results.push_back({static_cast<int>(w), static_cast<int>(l), Window().Busy(),
                                 ButtonsEnabled(), BusyShown()});
            if (onResult) {
                onResult(m_results.size());
            }
        });
    }

    QString Result(const QString& upperMac) {
        const int row = RowOf(upperMac);
        return row < 0 ? QStringLiteral("<no row>")
                       : Window().DeviceList().Text(row, DeviceListCtrl::kColResult);
    }
    QString SimMac(size_t index) { return QString::fromStdString(m_sim->Mac(index)).toUpper(); }

    std::unique_ptr<sim::Simulator> m_sim;
    std::vector<ResultSeen> m_results;
};

TEST_F(PushWindowTest, ThreeDevicesAtOnceGetTheirResultsInTheirRowsWhileRowsMove) {
    StartFleet({Device(0, "3.4.2.1"), Device(1, "4.1.2.3")});
    OpenWindow("en_GB.UTF-8", PushOptions());
    Window().OnFileChosen(Fac("small.fac"));
    PostSimDevice(0);
    PostUnreachable();
    PostSimDevice(1);
    guitest::Pump();
    ASSERT_EQ(Window().DeviceList().Rows(), 3);
    Click(1001);

    // At the first result a new device comes in at the top: every row index
    // of the push moves by one.
    WatchResults([this](size_t count) {
        if (count == 1) {
            DeviceAnswer late;
            late.devName = "late";
            PostAnswer("02:00:00:00:00:77", late);
        }
    });
    Click(1005);
    EXPECT_TRUE(Window().Busy());
    EXPECT_TRUE(ButtonsDisabled());
    EXPECT_TRUE(BusyShown());
    EXPECT_EQ(Window().Jobs().Size(), 3u);
    // While busy the buttons do not respond; the check boxes still do.
    Click(1002);
    EXPECT_TRUE(Window().DeviceList().IsChecked(0));

    ASSERT_TRUE(guitest::WaitUntil([&] { return !Window().Busy(); }, 60000));
    guitest::Pump();
    ASSERT_EQ(m_results.size(), 3u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(m_results[i].busy) << i;
        EXPECT_FALSE(m_results[i].buttonsEnabled) << i;
        EXPECT_TRUE(m_results[i].busyShown) << i;
    }
    EXPECT_FALSE(m_results[2].busy);
    EXPECT_TRUE(m_results[2].buttonsEnabled);
    EXPECT_FALSE(m_results[2].busyShown);

    ASSERT_EQ(Window().DeviceList().Rows(), 4);
    EXPECT_EQ(RowOf("02:00:00:00:00:77"), 0);
    EXPECT_EQ(Result(SimMac(0)), "Success!");
    EXPECT_EQ(Result(SimMac(1)), "Success!");
    EXPECT_EQ(Result(kUnreachableMac), "Disconnected!");
    EXPECT_EQ(Result("02:00:00:00:00:77"), "");

    // The version-3 device got the compact payload by its command, without a
    // login; the version-4 device was logged in to and got "ImportFacConf".
    // Both for the first product type of the sorted box, IPC-A: a=1, b=2, d=4.
    const sim::DeviceRecords v3 = m_sim->Records(0);
    EXPECT_TRUE(v3.logins.empty());
    ASSERT_EQ(v3.configs.size(), 1u);
    EXPECT_EQ(v3.configs[0].route, sim::ConfigRoute::Command0D01);
    ASSERT_GE(v3.configs[0].payload.size(), 4u + 3 * 64);
    EXPECT_EQ(v3.configs[0].payload[0], 3);  // three items
    EXPECT_EQ(v3.configs[0].payload[4 + 2 * 64], 'd');
    const sim::DeviceRecords v4 = m_sim->Records(1);
    ASSERT_EQ(v4.logins.size(), 1u);
    EXPECT_TRUE(v4.logins[0].accepted);
    EXPECT_EQ(v4.logins[0].user, "admin");
    ASSERT_EQ(v4.configs.size(), 1u);
    EXPECT_EQ(v4.configs[0].route, sim::ConfigRoute::ImportFacConf);
    const std::string text(v4.configs[0].payload.begin(), v4.configs[0].payload.end());
    EXPECT_NE(text.find("[IPCamera-Config-File]\r\na=1\r\nb=2\r\nd=4\r\n"), std::string::npos);
}

TEST_F(PushWindowTest, TheThreeRefusalsEachShowTheirMessageAndStartNothing) {
    StartFleet({Device(0, "4.1.2.3")});
    OpenWindow("en_GB.UTF-8", PushOptions());
    PostSimDevice(0);
    guitest::Pump();

    Click(1005);  // nothing checked
    Window().DeviceList().SetChecked(0, true);
    Click(1005);  // no package
    Window().OnFileChosen(Fac("common_without_header.fac"));
    Click(1005);                                           // a block without its header
    Window().OnFileChosen(Fac("product_blocks_bad.fac"));  // "garbled" sorts first
    Click(1005);
    EXPECT_EQ(m_messages,
              (std::vector<QString>{
                  "Please select the device first!", "Please import the configuration file first!",
                  "The configuration file is incorrect!", "The configuration file is incorrect!"}));
    EXPECT_FALSE(Window().Busy());
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_EQ(Window().Jobs().Size(), 0u);
    guitest::Pump(100);
    EXPECT_EQ(m_sim->Records(0).connections, 0u);
}

TEST_F(PushWindowTest, TheRefusalsAreInChineseInAChineseLocale) {
    OpenWindow("zh_CN.UTF-8", PushOptions());
    PostUnreachable();
    guitest::Pump();
    Click(1005);
    Window().DeviceList().SetChecked(0, true);
    Click(1005);
    Window().OnFileChosen(Fac("common_without_header.fac"));
    Click(1005);
    EXPECT_EQ(m_messages, (std::vector<QString>{QString::fromUtf8("请先选择设备！"),
                                                QString::fromUtf8("请先导入配置文件！"),
                                                QString::fromUtf8("配置文件有误！")}));
}

TEST_F(PushWindowTest, UncheckedRowsLoseTheirOldResultsAndAWrongPasswordFails) {
    StartFleet({Device(0, "3.4.2.1"), Device(1, "4.1.2.3")});
    OpenWindow("en_GB.UTF-8", PushOptions());
    Window().OnFileChosen(Fac("full.fac"));
    PostSimDevice(0);
    PostSimDevice(1);
    guitest::Pump();
    Click(1001);
    Click(1005);
    ASSERT_TRUE(guitest::WaitUntil([&] { return !Window().Busy(); }, 60000));
    EXPECT_EQ(Result(SimMac(0)), "Success!");
    EXPECT_EQ(Result(SimMac(1)), "Success!");

    // Second push: only the version-4 device, with a wrong password typed in.
    Window().DeviceList().SetChecked(RowOf(SimMac(0)), false);
    qobject_cast<QLineEdit*>(Window().ControlById(1009))->setText("wrong");
    qobject_cast<QLineEdit*>(Window().ControlById(1008))->setText(QString::fromUtf8("admin"));
    Click(1005);
    EXPECT_EQ(Result(SimMac(0)), "");  // cleared at once, and left empty
    EXPECT_EQ(Result(SimMac(1)), "");
    ASSERT_TRUE(guitest::WaitUntil([&] { return !Window().Busy(); }, 60000));
    EXPECT_EQ(Result(SimMac(0)), "");
    EXPECT_EQ(Result(SimMac(1)), "Failed!");
    EXPECT_EQ(m_sim->Records(0).configs.size(), 1u);  // not pushed again
    const sim::DeviceRecords v4 = m_sim->Records(1);
    ASSERT_EQ(v4.logins.size(), 2u);
    EXPECT_FALSE(v4.logins[1].accepted);
}

// The push is complete when every job of it has reported: a row checked
// during the push gets no job and does not hold the window busy, and a
// job's row unchecked during the push does not end it early.
TEST_F(PushWindowTest, CompletionCountsTheJobsNotTheCheckedRows) {
    sim::DeviceConfig slow = Device(0, "4.1.2.3");
    slow.faults.silence = sim::Silence::NoGreeting;
    StartFleet({slow, Device(1, "4.1.2.3")});
    cfgpush::CfgpushDlgOptions options = PushOptions();
    options.push.timings.secondAddressGreetingMs = 1500;
    options.push.timings.firstAddressGreetingMs = 1500;
    OpenWindow("en_GB.UTF-8", std::move(options));
    Window().OnFileChosen(Fac("small.fac"));
    PostSimDevice(0);
    PostSimDevice(1);
    PostAnswer("02:00:00:00:00:55");  // not checked now
    guitest::Pump();
    Window().DeviceList().SetChecked(RowOf(SimMac(0)), true);
    Window().DeviceList().SetChecked(RowOf(SimMac(1)), true);

    WatchResults([this](size_t count) {
        if (count == 1) {
            // One job is done: uncheck the other job's row, check a row
            // that has no job.
            const std::string& done = Window().Jobs().Entries().front().reported
                                          ? Window().Jobs().Entries().back().key
                                          : Window().Jobs().Entries().front().key;
            Window().DeviceList().SetChecked(RowOf(QString::fromStdString(done).toUpper()), false);
            Window().DeviceList().SetChecked(RowOf("02:00:00:00:00:55"), true);
        }
    });
    Click(1005);
    ASSERT_TRUE(guitest::WaitUntil([&] { return m_results.size() == 2; }, 60000));
    EXPECT_TRUE(m_results[0].busy);
    EXPECT_FALSE(m_results[1].busy);
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_EQ(Result(SimMac(0)), "Disconnected!");  // no greeting on either address
    EXPECT_EQ(Result(SimMac(1)), "Success!");
    EXPECT_EQ(Result("02:00:00:00:00:55"), "");
}

// Closing while a worker still waits for its device: the window goes at
// once, the worker finishes on its own and its result goes nowhere; every
// record is freed once (the leak checker watches). Only loopback runs in
// the namespace, so the search is still waiting for the network too.
TEST_F(PushWindowTest, ClosingWhileWorkersRunDoesNotWaitForThem) {
    sim::DeviceConfig silent = Device(0, "4.1.2.3");
    silent.faults.silence = sim::Silence::NoGreeting;
    StartFleet({silent, Device(1, "3.4.2.1")});
    // The silent device's worker waits a day for the greeting, until the
    // test stops the simulator: a close that waited for it would hang.
    cfgpush::CfgpushDlgOptions options = PushOptions();
    options.push.timings.secondAddressGreetingMs = testsupport::kLongWaitMs;
    options.push.timings.firstAddressGreetingMs = testsupport::kLongWaitMs;
    OpenWindow("en_GB.UTF-8", std::move(options));
    Window().show();
    Window().OnFileChosen(Fac("full.fac"));
    PostSimDevice(0);
    PostSimDevice(1);
    PostUnreachable();
    guitest::Pump();
    Click(1001);
    Click(1005);
    ASSERT_TRUE(Window().Busy());
    ASSERT_TRUE(
        m_sim->WaitForRecords(0, [](const sim::DeviceRecords& r) { return r.connections > 0; }));
    EXPECT_FALSE(Window().Discovery().SearchStarted());

    EXPECT_TRUE(testsupport::ReturnsWithoutHanging("closing the window during a push",
                                                   [&] { Window().close(); },
                                                   [&] { m_sim->Stop(); }));
    EXPECT_TRUE(Window().ShutDown());
    EXPECT_EQ(Window().DeviceList().RecordCount(), 0u);
    m_window.reset();
    // The device goes away: the worker's wait ends and it finishes on its own.
    m_sim->Stop();
    EXPECT_TRUE(testsupport::ReturnsWithoutHanging("the worker after its device went away",
                                                   [&] { m_workers.JoinAll(); }));
}

// The screenshots shown in README: a few devices, a package with its logo,
// every kind of result.
class ScreenshotTest : public PushWindowTest {
public:
    // A package whose title logo is a drawn picture, so the preview shows.
    // Its path is the same on every run, so the pictures change only when
    // the window does.
    QString LogoPackage(const char* language) {
        QImage logo(120, 28, QImage::Format_RGB32);
        logo.fill(Qt::white);
        {
            QPainter painter(&logo);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setBrush(QColor(0x1F, 0x5A, 0xA8));
            painter.setPen(Qt::NoPen);
            painter.drawRoundedRect(QRectF(1, 1, 118, 26), 6, 6);
            painter.setPen(Qt::white);
            QFont font = painter.font();
            font.setBold(true);
            font.setPixelSize(16);
            painter.setFont(font);
            painter.drawText(logo.rect(), Qt::AlignCenter, QStringLiteral("ACME"));
        }
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        EXPECT_TRUE(logo.save(&buffer, "PNG"));
        auto bytes = [](const QByteArray& b) { return std::vector<uint8_t>(b.begin(), b.end()); };
        cfgpush::FacPackageSource source;
        source.customerCode = "ACME";
        source.commonText = bytes("[IPCamera-Config-File]\r\nosd.title=ACME\r\n");
        source.pictures.push_back({"title_icon.png", bytes(png)});
        source.products.push_back({"IPC-B", bytes("[IPCamera-Config-File]\r\nir=1\r\n")});
        source.products.push_back({"IPC-A", bytes("[IPCamera-Config-File]\r\nir=0\r\n")});
        std::vector<uint8_t> file;
        std::string problem;
        EXPECT_TRUE(cfgpush::BuildFacPackage(source, file, problem)) << problem;
        const QString dir = QDir::tempPath() + QStringLiteral("/cfgpush-") + language;
        QDir().mkpath(dir);
        const QString path = dir + QStringLiteral("/ACME-2024.fac");
        QSaveFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<qint64>(file.size()));
        EXPECT_TRUE(out.commit());
        return path;
    }

    void Take(const char* locale, const char* file) {
        sim::DeviceConfig refusing = Device(2, "4.0.1.8");
        refusing.faults.refuseLogin = 1;
        sim::DeviceConfig v3 = Device(0, "3.4.2.1");
        v3.identity.devName = locale[0] == 'z' ? "\xE5\x89\x8D\xE9\x97\xA8" : "Gate";  // 前门
        v3.identity.productModel = "IPC-3614SR3";
        sim::DeviceConfig v4 = Device(1, "4.1.2.3");
        v4.identity.devName = locale[0] == 'z' ? "\xE4\xBB\x93\xE5\xBA\x93" : "Warehouse";  // 仓库
        refusing.identity.devName =
            locale[0] == 'z' ? "\xE5\x81\x9C\xE8\xBD\xA6\xE5\x9C\xBA" : "Car park";  // 停车场
        StartFleet({v3, v4, refusing});
        OpenWindow(locale, PushOptions());
        Window().show();
        Window().OnFileChosen(LogoPackage(locale[0] == 'z' ? "zh" : "en"));
        ASSERT_TRUE(Window().Logo().HasBitmap());
        PostUnreachable();
        for (size_t i = 0; i < 3; ++i) {
            PostSimDevice(i);
        }
        PostAnswer("02:00:00:00:00:42");  // listed, not checked
        guitest::Pump();
        for (size_t i = 0; i < 3; ++i) {
            Window().DeviceList().SetChecked(RowOf(SimMac(i)), true);
        }
        Window().DeviceList().SetChecked(RowOf(kUnreachableMac), true);
        Click(1005);
        ASSERT_TRUE(guitest::WaitUntil([&] { return !Window().Busy(); }, 60000));
        EXPECT_EQ(Result(SimMac(2)),
                  locale[0] == 'z' ? QString::fromUtf8("配置失败！") : "Failed!");
        guitest::Pump(100);
        const QImage shot = Window().grab().toImage();
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(shot.size(), Window().size());
        const QString path = guitest::ScreenshotDir() + "/" + file;
        ASSERT_TRUE(shot.save(path, "PNG")) << path.toStdString();
    }
};

TEST_F(ScreenshotTest, English) {
    Take("en_GB.UTF-8", "cfgpush-en.png");
}
TEST_F(ScreenshotTest, Chinese) {
    Take("zh_CN.UTF-8", "cfgpush-zh.png");
}

}  // namespace

namespace {

// The user name and password edits take any length. Credentials that do not
// fit the login's fields never reach a device: a version-3 device needs no
// login and gets its configuration; a version-4 device is refused before
// any login request is sent ("Failed!"); the window ends idle either way.
TEST_F(PushWindowTest, OverLongCredentialsNeverReachALogin) {
    StartFleet({Device(0, "3.4.2.1"), Device(1, "4.1.2.3")});
    OpenWindow("en_GB.UTF-8", PushOptions());
    Window().OnFileChosen(Fac("small.fac"));
    PostSimDevice(0);
    PostSimDevice(1);
    guitest::Pump();
    auto* user = static_cast<QLineEdit*>(Window().ControlById(1008));
    auto* password = static_cast<QLineEdit*>(Window().ControlById(1009));
    const struct {
        const char* what;
        QString user;
        QString password;
    } rows[] = {
        {"user of 10000", QString(10000, 'u'), "739164"},
        {"password of 32", "admin", QString(32, 'p')},
        // One byte per character is sent: 32 characters are too many.
        {"user of 32 characters outside Latin-1", QString::fromUtf8("\xE4\xB8\xAD").repeated(32), "739164"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        user->setText(row.user);
        password->setText(row.password);
        ASSERT_EQ(user->text(), row.user);
        Click(1001);
        Click(1005);
        ASSERT_TRUE(guitest::WaitUntil([&] { return !Window().Busy(); }, 60000));
        guitest::Pump();
        EXPECT_EQ(Result(SimMac(0)), "Success!");
        EXPECT_EQ(Result(SimMac(1)), "Failed!");
        EXPECT_TRUE(ButtonsEnabled());
    }
    EXPECT_TRUE(m_sim->Records(0).logins.empty());
    EXPECT_EQ(m_sim->Records(0).configs.size(), 3u);
    EXPECT_TRUE(m_sim->Records(1).logins.empty());
    EXPECT_TRUE(m_sim->Records(1).configs.empty());
    EXPECT_TRUE(m_sim->Records(1).http.empty());
}

// The list's context menu: a device added by address is pushed to like the
// others, the results are saved as camprep's report, the failed device is
// checked, and the added device's search answer merges into its row.
TEST_F(PushWindowTest, TheContextMenuAddsSavesAndChecksFailedDevices) {
    StartFleet({Device(0, "4.1.2.3"), Device(1, "4.1.2.3")});
    cfgpush::CfgpushDlgOptions options = PushOptions();
    options.lookup.connectEnv.hostAddresses = [] { return std::vector<std::string>{}; };
    OpenWindow("en_GB.UTF-8", options);
    ui::FleetMenu& fleet = *Window().Fleet();
    const QTemporaryDir dir;
    fleet.SetPathChooser([&](QWidget*, bool, const QString&) { return dir.filePath("results.json"); });
    fleet.SetAddressAsker([&](QWidget*, QString& device) {
        device = QString::fromStdString(m_sim->Address(1) + ":" + std::to_string(m_sim->DataPort(1)));
        return true;
    });
    const auto trigger = [&](const char* name) {
        const std::unique_ptr<QMenu> menu(fleet.BuildMenu(nullptr));
        menu->findChild<QAction*>(QString::fromLatin1(name))->trigger();
    };
    Window().OnFileChosen(Fac("small.fac"));
    PostSimDevice(0);
    PostUnreachable();
    trigger("addDevice");
    ASSERT_TRUE(guitest::WaitUntil([&] { return !fleet.LookupRunning(); }));
    guitest::Pump();
    ASSERT_EQ(Window().DeviceList().Rows(), 3);
    Click(1001);
    Click(1005);
    ASSERT_TRUE(guitest::WaitUntil([&] { return !Window().Busy(); }, 60000));
    EXPECT_EQ(m_sim->Records(1).configs.size(), 1u);

    trigger("saveResults");
    std::vector<report::ReportRow> rows;
    std::string error;
    ASSERT_TRUE(report::ReadReport(dir.filePath("results.json").toStdString(), rows, error)) << error;
    ASSERT_EQ(rows.size(), 3u);
    for (const report::ReportRow& r : rows) {
        EXPECT_EQ(r.success, r.mac != kUnreachableMac) << r.mac;
        EXPECT_EQ(r.result, r.success ? "Success!" : "Disconnected!");
        if (r.mac.empty()) {  // the device added by address
            EXPECT_EQ(r.address, m_sim->Address(1));
            EXPECT_EQ(r.port, m_sim->DataPort(1));
            EXPECT_EQ(r.versionBefore, "4.1.2.3");
        }
    }

    trigger("checkFailed");
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Window().DeviceList().IsChecked(row), row == RowOf(kUnreachableMac)) << row;
    }

    PostSimDevice(1);
    guitest::Pump();
    EXPECT_EQ(Window().DeviceList().Rows(), 3);
    EXPECT_EQ(Result(SimMac(1)), "Success!");
}

}  // namespace
