// The upgrade batch through the window, against simulated devices on
// loopback in the test's own network namespace: the refusals, the busy
// state, progress and results in the rows, the window idle again whatever
// the results, late messages, closing during a batch, and the screenshots.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QScrollBar>
#include <QTest>

#include <chrono>

#include "FwbatchTestSupport.h"
#include "discovery/WindowMessages.h"
#include "tests/support/HangGuard.h"

namespace {

using fwbatch::DeviceListCtrl;
using fwtest::DeviceAnswer;
using fwtest::FwbatchWindowTest;

constexpr int kBusyControls[] = {1007, 1005, 1002, 1003, 1004, 1008, 1001};

class UpgradeTest : public FwbatchWindowTest {
protected:
    bool ControlsEnabled(bool enabled) {
        for (int id : kBusyControls) {
            if (Enabled(id) != enabled) {
                return false;
            }
        }
        return true;
    }
    bool BusyShown() {
        return !Window().ControlById(1009)->isHidden() && !Window().ControlById(1011)->isHidden();
    }
    // Records every progress text shown in the device's row.
    void WatchProgress(size_t device) {
        Window().SetMessageObserver([this, device](uint32_t message, uintptr_t, intptr_t) {
            if (message == winmsg::WM_UPGRADE_PROGRESS) {
                const QString text = Cell(SimMac(device), DeviceListCtrl::kColResult);
                // Other devices' progress leaves this row as it was.
                if (!text.isEmpty() && (m_progress.empty() || m_progress.back() != text)) {
                    m_progress.push_back(text);
                }
            }
        });
    }
    std::vector<QString> m_progress;
};

// One device upgraded, one refusing the login, one whose connection drops
// after 98 percent as it reboots into its new image (a success).
TEST_F(UpgradeTest, ABatchOfThreeShowsProgressAndEndsIdleWhateverTheResults) {
    sim::DeviceConfig good = Device(0);
    good.behaviour.pieceDelayMs = 5;
    sim::DeviceConfig refusing = Device(1);
    refusing.faults.refuseLogin = 1;
    sim::DeviceConfig rebooting = Device(2);
    rebooting.behaviour.finish = sim::UpgradeFinish::Reboot;
    StartFleet({good, refusing, rebooting});
    OpenWindow();
    Window().show();
    for (size_t i = 0; i < 3; ++i) {
        PostSimDevice(i);
    }
    PostAnswer("02:00:00:00:00:0c");  // listed, not checked
    guitest::Pump();
    Click(1002);
    List().SetChecked(RowOf("02:00:00:00:00:0C"), false);
    List().SetText(RowOf("02:00:00:00:00:0C"), DeviceListCtrl::kColResult, "old");
    WatchProgress(0);

    StartUpgrade();
    EXPECT_TRUE(Window().BatchExists());
    EXPECT_TRUE(ControlsEnabled(false));
    EXPECT_TRUE(BusyShown());
    EXPECT_EQ(Cell("02:00:00:00:00:0C", DeviceListCtrl::kColResult), "");  // cleared at the start
    // No click reaches the window while the batch runs.
    QTest::mouseClick(Window().ControlById(1019), Qt::LeftButton);
    guitest::Pump();
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(Enabled(1019));

    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(Window().BatchExists());
    EXPECT_TRUE(ControlsEnabled(true));  // 1004 too
    EXPECT_FALSE(BusyShown());
    EXPECT_EQ(Cell(SimMac(0), DeviceListCtrl::kColResult), "Upgraded successfully!");
    EXPECT_EQ(Cell(SimMac(1), DeviceListCtrl::kColResult), "Incorrect Username/Password!");
    EXPECT_EQ(Cell(SimMac(2), DeviceListCtrl::kColResult), "Upgraded successfully!");
    EXPECT_EQ(Cell("02:00:00:00:00:0C", DeviceListCtrl::kColResult), "");
    for (int row = 0; row < List().Rows(); ++row) {
        EXPECT_FALSE(List().IsChecked(row)) << row;
    }
    // Progress came as "%d%%", climbing, in the device's row.
    ASSERT_GE(m_progress.size(), 2u);
    int last = 0;
    for (const QString& p : m_progress) {
        ASSERT_TRUE(p.endsWith('%')) << p.toStdString();
        const int percent = p.chopped(1).toInt();
        EXPECT_GT(percent, last);
        EXPECT_LE(percent, 100);
        last = percent;
    }
    // The package reached the devices that took it, with the credentials typed.
    EXPECT_EQ(m_sim->Records(0).images.size(), 1u);
    EXPECT_EQ(m_sim->Records(2).images.size(), 1u);
    ASSERT_FALSE(m_sim->Records(1).logins.empty());
    EXPECT_EQ(m_sim->Records(1).logins[0].user, "admin");

    // Late messages of the freed batch change nothing.
    Window().Mailbox()->Post(winmsg::WM_UPGRADE_PROGRESS, 0, 50);
    Window().Mailbox()->Post(winmsg::WM_UPGRADE_RESULT, 1, 5);
    guitest::Pump();
    EXPECT_EQ(Cell(SimMac(0), DeviceListCtrl::kColResult), "Upgraded successfully!");
    EXPECT_EQ(Cell(SimMac(1), DeviceListCtrl::kColResult), "Incorrect Username/Password!");
    EXPECT_FALSE(Window().Busy());
}

TEST_F(UpgradeTest, RefusedBatchesStartNothing) {
    OpenWindow();
    for (int i = 0; i < 33; ++i) {
        DeviceAnswer a;
        a.ip[0] = a.ip[1] = "127.0.0." + std::to_string(100 + i);
        char mac[20];
        std::snprintf(mac, sizeof mac, "02:00:00:00:01:%02x", i);
        PostAnswer(mac, a);
    }
    guitest::Pump();
    Click(1008);  // no package
    Window().OnFileChosen(fwtest::Package("sw_250.pkg"));
    Click(1008);  // nothing checked
    Click(1002);
    Click(1008);  // 33 checked
    List().SetChecked(0, false);
    Window().OnFileChosen(fwtest::Package("no-such.pkg"));
    Click(1008);  // 32 checked, the file cannot be read
    EXPECT_EQ(m_messages, (std::vector<QString>{"Please select the upgrade file!",
                                                "Please select at least one device!",
                                                "Batch update supports maximum 32 pieces upgrading simultaneously.",
                                                "Failed to open the file!"}));
    EXPECT_FALSE(Window().Busy());
    EXPECT_FALSE(Window().Preparing());
    EXPECT_FALSE(Window().BatchExists());
    EXPECT_TRUE(ControlsEnabled(true) || !Enabled(1004));
    EXPECT_TRUE(Window().ControlById(1009)->isHidden());
}

TEST_F(UpgradeTest, ADeviceWithoutAPortGetsWrongPortAtOnce) {
    OpenWindow("zh_CN.UTF-8");
    DeviceAnswer noData;
    noData.ip[0] = noData.ip[1] = "127.0.0.200";
    noData.dataPort = 0;
    PostAnswer("02:00:00:00:00:d0", noData);
    DeviceAnswer noHttp = noData;
    noHttp.dataPort = 9008;
    noHttp.httpPort = 0;
    PostAnswer("02:00:00:00:00:d1", noHttp);
    guitest::Pump();
    Click(1002);
    StartUpgrade();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Cell("02:00:00:00:00:D0", DeviceListCtrl::kColResult), QString::fromUtf8("端口号错误！"));
    EXPECT_EQ(Cell("02:00:00:00:00:D1", DeviceListCtrl::kColResult), QString::fromUtf8("端口号错误！"));
}

// Closing while workers run: the window cancels them, waits for them and
// frees everything once (the leak checker watches). One device falls silent
// in the middle of its transfer and would hold its worker for a day (the
// piece-reply limit): only the cancel ends that worker, and it tries no more.
TEST_F(UpgradeTest, ClosingDuringABatchEndsItsWorkers) {
    sim::DeviceConfig slow = Device(0);
    slow.behaviour.pieceDelayMs = 300;
    sim::DeviceConfig silent = Device(1);
    silent.faults.silence = sim::Silence::NoGreeting;
    StartFleet({slow, silent});
    fwbatch::FwbatchDlgOptions options = QuickOptions();
    options.upgrade.timings.pieceReplyLimitMs = testsupport::kLongWaitMs;
    OpenWindow("en_GB.UTF-8", std::move(options));
    Window().show();
    PostSimDevice(0);
    PostSimDevice(1);
    guitest::Pump();
    Click(1002);
    StartUpgrade();
    ASSERT_TRUE(guitest::WaitUntil(
        [&] { return Cell(SimMac(0), DeviceListCtrl::kColResult).endsWith('%'); }, 60000));
    sim::DeviceFaults faults = m_sim->Config(0).faults;
    faults.silence = sim::Silence::AfterLogin;
    m_sim->SetFaults(0, faults);
    // Stopping the simulator would end a worker the cancel missed.
    EXPECT_TRUE(testsupport::ReturnsWithoutHanging("closing the window during a batch",
                                                   [&] { Window().close(); },
                                                   [&] { m_sim->Stop(); }));
    EXPECT_TRUE(Window().ShutDown());
    EXPECT_FALSE(Window().BatchExists());
    EXPECT_EQ(List().RecordCount(), 0u);
    const sim::DeviceRecords records = m_sim->Records(0);
    EXPECT_EQ(records.connections, 1u) << "a cancelled upgrade was tried again";
    EXPECT_EQ(records.imagesReceived, 0u);
    m_window.reset();
}

}  // namespace

namespace {

// The screenshots shown in README: a few devices with their AI versions,
// a batch in progress, and a batch finished with every kind of result.
class ScreenshotTest : public UpgradeTest {
public:
    void Take(const char* locale, const char* file, bool inProgress) {
        const bool zh = locale[0] == 'z';
        const char* names[] = {zh ? "\xE5\x89\x8D\xE9\x97\xA8" : "Gate",            // 前门
                               zh ? "\xE4\xBB\x93\xE5\xBA\x93" : "Warehouse",       // 仓库
                               zh ? "\xE5\x81\x9C\xE8\xBD\xA6\xE5\x9C\xBA" : "Car park",  // 停车场
                               zh ? "\xE5\xA4\xA7\xE5\x8E\x85" : "Lobby"};          // 大厅
        const char* models[] = {"IPC-3614SR3", "IPC-3614SR3", "IPC-2325LB", "IPC-2325LB"};
        std::vector<sim::DeviceConfig> fleet;
        for (size_t i = 0; i < 4; ++i) {
            sim::DeviceConfig d = Device(i);
            d.identity.devName = names[i];
            d.identity.productModel = models[i];
            d.identity.deviceActivated = i == 3 ? 1 : 0;
            d.behaviour.pieceDelayMs = inProgress ? 40 + 40 * static_cast<uint32_t>(i) : 0;
            fleet.push_back(d);
        }
        fleet[1].identity.ai.reset();
        fleet[2].faults.refuseLogin = 1;
        fleet[3].behaviour.finish = sim::UpgradeFinish::Reboot;
        StartFleet(fleet);
        OpenWindow(locale);
        Window().show();
        for (size_t i = 0; i < 4; ++i) {
            PostSimDevice(i);
        }
        guitest::Pump();
        Click(1002);
        Click(1019);
        ASSERT_TRUE(guitest::WaitUntil([&] { return !Window().AiQueryRunning(); }, 60000));
        Click(1002);
        // A package path that is the same on every machine, so the pictures
        // change only when the window does (one folder a picture: they are
        // taken at once).
        const QString dir = QDir::tempPath() + QStringLiteral("/firmware-") + QString::fromLatin1(file).section('.', 0, 0);
        QDir().mkpath(dir);
        const QString package = dir + QStringLiteral("/IPC-5.0.0.1.pkg");
        QFile::remove(package);
        ASSERT_TRUE(QFile::copy(fwtest::Package("sw_250.pkg"), package));
        Window().OnFileChosen(package);
        Click(1008);
        ASSERT_TRUE(guitest::WaitUntil([&] { return Window().BatchExists() || !Window().Busy(); }));
        if (inProgress) {
            ASSERT_TRUE(guitest::WaitUntil([&] {
                const QString p = Cell(SimMac(0), DeviceListCtrl::kColResult);
                return p.endsWith('%') && p.chopped(1).toInt() >= 40;
            }, 60000));
        } else {
            ASSERT_TRUE(WaitIdle());
        }
        // The list is wider than the window. A finished batch shows the
        // list from its first column, as the operator sees it; a batch in
        // progress its right end, where the percentages are.
        List().horizontalScrollBar()->setValue(inProgress ? List().horizontalScrollBar()->maximum() : 0);
        guitest::Pump(100);
        const QImage shot = Window().grab().toImage();
        ASSERT_FALSE(shot.isNull());
        const QString path = fwtest::ScreenshotDir() + "/" + file;
        ASSERT_TRUE(shot.save(path, "PNG")) << path.toStdString();
    }
};

TEST_F(ScreenshotTest, English) {
    Take("en_GB.UTF-8", "fwbatch-en.png", false);
}
TEST_F(ScreenshotTest, Chinese) {
    Take("zh_CN.UTF-8", "fwbatch-zh.png", false);
}
TEST_F(ScreenshotTest, InProgress) {
    Take("en_GB.UTF-8", "fwbatch-progress.png", true);
}

}  // namespace

// The Verify box (unchecked at first): checked, a device must come back
// with a new version; the result cell's tip shows the versions.
TEST_F(UpgradeTest, VerifyShowsTheVersionsAndTellsAnUpgradeThatDidNotTake) {
    sim::DeviceConfig taking = Device(0);
    sim::DeviceConfig keeping = Device(1);
    keeping.behaviour.versionAfterUpgrade = "keep";
    StartFleet({taking, keeping});
    fwbatch::FwbatchDlgOptions options = QuickOptions();
    options.upgrade.timings.verifyLimitMs = 3000;  // bounds only the device that keeps its version
    OpenWindow("en_GB.UTF-8", options);
    Window().show();
    PostSimDevice(0);
    PostSimDevice(1);
    guitest::Pump();
    auto* verify = Window().findChild<QCheckBox*>(QStringLiteral("verify"));
    ASSERT_NE(verify, nullptr);
    EXPECT_FALSE(verify->isChecked());
    EXPECT_EQ(verify->text(), "Verify");
    verify->setChecked(true);
    const std::string before0 = m_sim->Config(0).identity.softwareVer;
    const std::string before1 = m_sim->Config(1).identity.softwareVer;
    Click(1002);
    StartUpgrade();
    EXPECT_FALSE(verify->isEnabled());
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(verify->isEnabled());
    const int taken = RowOf(SimMac(0));
    const int kept = RowOf(SimMac(1));
    EXPECT_EQ(Cell(SimMac(0), DeviceListCtrl::kColResult), "Upgraded successfully!");
    EXPECT_EQ(Cell(SimMac(1), DeviceListCtrl::kColResult), "Upgrade not applied!");
    const std::string after0 = m_sim->Config(0).identity.softwareVer;
    EXPECT_NE(after0, before0);
    EXPECT_EQ(List().item(taken, DeviceListCtrl::kColResult)->toolTip().toStdString(), before0 + " \u2192 " + after0);
    EXPECT_EQ(List().item(kept, DeviceListCtrl::kColResult)->toolTip().toStdString(), before1 + " \u2192 " + before1);
    EXPECT_EQ(m_sim->Records(0).logins.size(), 2u);  // the upgrade's and the check's
}
