// Both windows with a real ONVIF camera on a real link: camsim's camera in a
// namespace of its own, joined to the test's by a veth pair, answering only
// the open ONVIF discovery. Each window lists it by what it says of itself,
// learns its version and MAC from the device calls with the window's user
// name and password, and pushes or upgrades it at the data port the
// operator chose.

#include <QSettings>

#include <gtest/gtest.h>

#include <memory>

#include "GuiSupport.h"
#include "cfgpush/app/CfgpushDlg.h"
#include "cfgpush/app/DeviceListCtrl.h"
#include "cfgpush/engine/PushWorker.h"
#include "fwbatch/app/DeviceListCtrl.h"
#include "fwbatch/app/FwbatchDlg.h"
#include "tests/integration/onvif/CameraNetns.h"
#include "ui/FleetMenu.h"

namespace {

using nlohmann::json;

class OnvifWindowTest : public onvif_test::CameraNetns {
protected:
    void SetUp() override {
        CameraNetns::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_TRUE(Link("h0", "10.1.0.1/24", "c0", "10.1.0.2/24"));
        // An ONVIF camera only (not our own search), listening at 9100: not
        // the default data port.
        const json fleet = {
            {"devices",
             {{{"devName", "front"},
               {"listen", "10.1.0.2"},
               {"dataPort", 9100},
               {"softwareVer", "5.0.0.0"},
               {"onvif", {{"enabled", true}, {"macScope", ""}}},
               {"behaviour",
                {{"answerSearch", false}, {"pieceDelayMs", 0}, {"writeImageMs", 0}}}}}}};
        ASSERT_TRUE(StartCamsim(fleet));
        QSettings(QStringLiteral("camprep"), QStringLiteral("cfgpush")).clear();
        QSettings(QStringLiteral("camprep"), QStringLiteral("fwbatch")).clear();
    }

    // The camera's row, once it shows the version the device calls told.
    template <class Window, class List>
    int WaitForIdentifiedRow(Window& window, List& list, int versionColumn) {
        int row = -1;
        EXPECT_TRUE(guitest::WaitUntil(
            [&] {
                row = list.FindText(List::kColAddress, QStringLiteral("10.1.0.2"));
                return row >= 0 && !list.Text(row, versionColumn).isEmpty() &&
                       !window.Identifying();
            },
            30000));
        return row;
    }
};

TEST_F(OnvifWindowTest, FwbatchListsIdentifiesAndUpgradesTheCameraAtTheChosenDataPort) {
    fwbatch::FwbatchDlgOptions options;
    options.upgrade.timings.connectMs = 3000;
    options.upgrade.connectEnv.hostAddresses = [] { return std::vector<std::string>{}; };
    fwbatch::CFwbatchDlg window(std::move(options));
    window.SetFileChooser([](QWidget*, const QString&) { return QString(); });
    using List = fwbatch::DeviceListCtrl;
    List& list = window.DeviceList();
    const int row = WaitForIdentifiedRow(window, list, List::kColVersion);
    ASSERT_GE(row, 0);
    EXPECT_EQ(list.Text(row, List::kColName), "front");
    EXPECT_EQ(list.Text(row, List::kColVersion), "5.0.0.0");
    EXPECT_EQ(list.Text(row, List::kColMac), "02:53:49:4D:00:00");  // from GetNetworkInterfaces
    EXPECT_EQ(list.Record(row).dataPort, 9008);  // the default: the answer does not tell it

    // At the default data port nothing answers.
    list.SetChecked(row, true);
    window.OnFileChosen(QStringLiteral(CAMPREP_TEST_DATA_DIR "/fwbatch/sw_250.pkg"));
    window.OnUpgrade();
    ASSERT_TRUE(guitest::WaitUntil([&] { return !window.Busy(); }, 60000));
    EXPECT_EQ(list.Text(row, List::kColResult), "Device connection failed!");

    // The operator's data port: the row takes it at once, and it is kept.
    window.Fleet()->ChooseDataPort(9100);
    EXPECT_EQ(list.Record(list.FindText(List::kColAddress, QStringLiteral("10.1.0.2"))).dataPort,
              9100);
    EXPECT_EQ(QSettings(QStringLiteral("camprep"), QStringLiteral("fwbatch"))
                  .value("search/onvifDataPort")
                  .toInt(),
              9100);
    list.SetChecked(list.FindText(List::kColAddress, QStringLiteral("10.1.0.2")), true);
    window.OnUpgrade();
    ASSERT_TRUE(guitest::WaitUntil([&] { return !window.Busy(); }, 60000));
    EXPECT_EQ(
        list.Text(list.FindText(List::kColAddress, QStringLiteral("10.1.0.2")), List::kColResult),
        "Upgraded successfully!");
    window.close();
}

TEST_F(OnvifWindowTest, CfgpushListsIdentifiesAndPushesTheCameraAtTheKeptDataPort) {
    // The data port chosen in an earlier run.
    QSettings(QStringLiteral("camprep"), QStringLiteral("cfgpush"))
        .setValue("search/onvifDataPort", 9100);
    cfgpush::PushWorkerGroup workers;
    cfgpush::CfgpushDlgOptions options;
    options.push.connectEnv.hostAddresses = [] { return std::vector<std::string>{}; };
    cfgpush::CCfgpushDlg window(workers, std::move(options));
    using List = cfgpush::DeviceListCtrl;
    List& list = window.DeviceList();
    const int row = WaitForIdentifiedRow(window, list, List::kColVersion);
    ASSERT_GE(row, 0);
    EXPECT_EQ(list.Text(row, List::kColName), "front");
    EXPECT_EQ(list.Text(row, List::kColMac), "02:53:49:4D:00:00");
    EXPECT_EQ(list.Record(row).dataPort, 9100);

    window.OnFileChosen(QStringLiteral(CAMPREP_TEST_DATA_DIR "/fac/full.fac"));
    list.SetChecked(row, true);
    window.OnSetDefaultConfig();
    ASSERT_TRUE(guitest::WaitUntil([&] { return !window.Busy(); }, 60000));
    EXPECT_EQ(
        list.Text(list.FindText(List::kColAddress, QStringLiteral("10.1.0.2")), List::kColResult),
        "Success!");
    window.close();
    workers.JoinAll();
}

}  // namespace
