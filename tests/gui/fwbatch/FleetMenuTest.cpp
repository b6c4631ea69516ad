// The list's context menu in Fwbatch's window, against simulated devices on
// loopback: results saved as camprep's report after a batch, the failed
// devices checked, a device list saved and loaded into a fresh window (the
// devices reached and logged in to, one refused, then merged with their
// search answers), a device added by hand, and the search interfaces kept
// for the next start.

#include <QAction>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

#include "FwbatchTestSupport.h"
#include "common/report/RunReport.h"
#include "ui/FleetMenu.h"

namespace {

using fwbatch::DeviceListCtrl;
using fwtest::FwbatchWindowTest;

class FleetMenuTest : public FwbatchWindowTest {
protected:
    static fwbatch::FwbatchDlgOptions Options() {
        fwbatch::FwbatchDlgOptions options = QuickOptions();
        options.lookup.connectEnv.hostAddresses = [] { return std::vector<std::string>{}; };
        options.lookup.limits.greetingMs = 1000;
        return options;
    }
    // Chooses `path` in every file dialog and triggers the menu's action.
    void Trigger(const char* action, const QString& path = QString()) {
        ui::FleetMenu& fleet = *Window().Fleet();
        fleet.SetPathChooser([path](QWidget*, bool, const QString&) { return path; });
        const std::unique_ptr<QMenu> menu(fleet.BuildMenu(nullptr));
        QAction* found = menu->findChild<QAction*>(QString::fromLatin1(action));
        ASSERT_NE(found, nullptr) << action;
        found->trigger();
    }
    bool WaitLookups() {
        return guitest::WaitUntil([&] { return !Window().Fleet()->LookupRunning(); });
    }
    std::string DeviceOf(size_t i) { return m_sim->Address(i) + ":" + std::to_string(m_sim->DataPort(i)); }

    QTemporaryDir m_dir;
};

TEST_F(FleetMenuTest, ResultsFailedDevicesAndDeviceListsGoThroughTheMenu) {
    std::vector<sim::DeviceConfig> devices{Device(0), Device(1), Device(2)};
    devices[2].identity.password = "not-the-one";
    StartFleet(std::move(devices));
    OpenWindow("en_GB.UTF-8", Options());
    for (size_t i = 0; i < 3; ++i) {
        PostSimDevice(i);
    }
    guitest::Pump();
    Click(1002);  // Select All
    StartUpgrade();
    ASSERT_TRUE(WaitIdle());

    // No extension: the CSV report camprep writes, a row per device.
    Trigger("saveResults", m_dir.filePath("results"));
    std::vector<report::ReportRow> rows;
    std::string error;
    ASSERT_TRUE(report::ReadReport(m_dir.filePath("results.csv").toStdString(), rows, error)) << error;
    ASSERT_EQ(rows.size(), 3u);
    int failed = 0;
    for (const report::ReportRow& r : rows) {
        EXPECT_TRUE(r.started);
        EXPECT_EQ(r.versionBefore, "5.0.0.0");
        EXPECT_GE(r.attempts, 1);
        if (!r.success) {
            ++failed;
            EXPECT_EQ(QString::fromStdString(r.mac).toUpper(), SimMac(2));
            EXPECT_EQ(r.result, "Incorrect Username/Password!");
        }
    }
    EXPECT_EQ(failed, 1);

    // Only the failed device ends checked, whatever was checked before.
    List().SetChecked(RowOf(SimMac(0)), true);
    Trigger("checkFailed");
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(List().IsChecked(RowOf(SimMac(i))), i == 2) << i;
    }

    Trigger("saveDeviceList", m_dir.filePath("site.txt"));
    std::vector<std::string> listed;
    ASSERT_TRUE(report::ReadDevicesFile(m_dir.filePath("site.txt").toStdString(), listed, error)) << error;
    EXPECT_EQ(listed.size(), 3u);

    // A fresh window loads the list: the devices are reached and logged in
    // to; the one with another password is named in one message.
    CloseWindow();
    OpenWindow("en_GB.UTF-8", Options());
    Trigger("loadDeviceList", m_dir.filePath("site.txt"));
    ASSERT_TRUE(WaitLookups());
    guitest::Pump();
    ASSERT_EQ(List().Rows(), 2);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(List().Text(row, DeviceListCtrl::kColVersion), "5.0.0.1");  // the upgrade took
        EXPECT_EQ(List().Text(row, DeviceListCtrl::kColMac), "");  // not known on loopback
    }
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], QString::fromStdString("These devices could not be added:\n" + DeviceOf(2) +
                                                    ": wrong user name or password"));

    // Added rows are upgraded and their pages opened at their own address
    // (no adapter is prepared for them).
    Click(1002);
    StartUpgrade();
    ASSERT_TRUE(WaitIdle());
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(List().Text(row, DeviceListCtrl::kColResult), "Upgraded successfully!") << row;
    }
    Window().OnDblClickDevice(0);
    ASSERT_TRUE(guitest::WaitUntil([&] { return !m_opened.empty(); }));
    EXPECT_EQ(m_opened[0].host().toStdString(), List().Text(0, DeviceListCtrl::kColAddress).toStdString());

    // Their search answers merge into those rows.
    PostSimDevice(0);
    PostSimDevice(1);
    guitest::Pump();
    EXPECT_EQ(List().Rows(), 2);
    EXPECT_GE(RowOf(SimMac(0)), 0);
    EXPECT_GE(RowOf(SimMac(1)), 0);

    // By hand: a bad text, then an address where nothing answers.
    m_messages.clear();
    Window().Fleet()->SetAddressAsker([](QWidget*, QString& device) {
        device = QStringLiteral("camera-7");
        return true;
    });
    Trigger("addDevice");
    Window().Fleet()->SetAddressAsker([](QWidget*, QString& device) {
        device = QStringLiteral("127.0.0.250:9");
        return true;
    });
    Trigger("addDevice");
    ASSERT_TRUE(WaitLookups());
    guitest::Pump();
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[0], "Enter an IPv4 address and a port from 1 to 65535.");
    EXPECT_EQ(m_messages[1], "These devices could not be added:\n127.0.0.250:9: cannot connect");
    EXPECT_EQ(List().Rows(), 2);

    // A list that cannot be read names its file and line.
    QFile bad(m_dir.filePath("bad.txt"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("# site\n127.0.0.1:80\nnot a device\n");
    bad.close();
    Trigger("loadDeviceList", bad.fileName());
    ASSERT_EQ(m_messages.size(), 3u);
    EXPECT_TRUE(m_messages[2].startsWith("Cannot read the device list:\n" + bad.fileName() + ":3:")) << m_messages[2].toStdString();
}

// A row added by address is the row's own state, not a mark in a MAC text:
// a searched device whose MAC text looks like an added row's key is a
// device like any other (its MAC shown, its own result, gone when it goes),
// and the added row beside it keeps its own.
TEST_F(FleetMenuTest, AMacTextBeginningWithAtIsAMacLikeAnyOther) {
    StartFleet({Device(0)});
    OpenWindow("en_GB.UTF-8", Options());
    const std::string device = DeviceOf(0);
    Window().Fleet()->SetAddressAsker([&device](QWidget*, QString& text) {
        text = QString::fromStdString(device);
        return true;
    });
    Trigger("addDevice");
    ASSERT_TRUE(WaitLookups());
    guitest::Pump();
    ASSERT_EQ(List().Rows(), 1);
    const std::string addedKey = List().Key(0);
    ASSERT_EQ(addedKey[0], '@');

    guitest::DeviceAnswer elsewhere;
    elsewhere.ip[0] = elsewhere.ip[1] = "127.0.0.77";  // nothing listens there
    elsewhere.dataPort = m_sim->DataPort(0);
    PostAnswer(addedKey, elsewhere);
    guitest::Pump();
    ASSERT_EQ(List().Rows(), 2);
    const QString shown = QString::fromStdString(addedKey).toUpper();
    EXPECT_EQ(List().Text(0, DeviceListCtrl::kColMac), shown);
    EXPECT_EQ(List().Text(1, DeviceListCtrl::kColMac), "");

    Click(1002);
    StartUpgrade();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(List().Text(0, DeviceListCtrl::kColResult), "Device connection failed!");
    EXPECT_EQ(List().Text(1, DeviceListCtrl::kColResult), "Upgraded successfully!");

    PostGone(addedKey);
    guitest::Pump();
    ASSERT_EQ(List().Rows(), 1);
    EXPECT_EQ(List().Text(0, DeviceListCtrl::kColResult), "Upgraded successfully!");
}

TEST_F(FleetMenuTest, TheSearchInterfacesAreKeptForTheNextStart) {
    ASSERT_TRUE(nstest::CreateTestInterface("fleet0"));
    OpenWindow("en_GB.UTF-8", Options());
    Window().Fleet()->SetInterfaceLister([] { return std::vector<std::string>{"fleet0"}; });
    Trigger("interface:fleet0");
    EXPECT_EQ(Window().Discovery().Interfaces(), std::vector<std::string>{"fleet0"});

    CloseWindow();
    OpenWindow("en_GB.UTF-8", Options());
    EXPECT_EQ(Window().Fleet()->Interfaces(), std::vector<std::string>{"fleet0"});
    EXPECT_EQ(Window().Discovery().Interfaces(), std::vector<std::string>{"fleet0"});
    Trigger("allInterfaces");
    EXPECT_TRUE(Window().Discovery().Interfaces().empty());

    // A kept interface that is gone: said once the window is up, and the
    // search runs on every interface.
    CloseWindow();
    QSettings(QStringLiteral("camprep"), QStringLiteral("fwbatch"))
        .setValue(QStringLiteral("search/interfaces"), QStringList{QStringLiteral("gone0")});
    OpenWindow("en_GB.UTF-8", Options());
    guitest::Pump();
    EXPECT_TRUE(Window().Discovery().Interfaces().empty());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "These interfaces chosen for the search are not present and are left out:\ngone0");
}

}  // namespace
