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
        ASSERT_TRUE(AddCameraAddress("c0", "10.1.0.3/24"));
        // Two cameras that answer only the ONVIF discovery, not our own
        // search: "front" at the default data port, "back" at 9100.
        const json behaviour = {{"answerSearch", false}, {"pieceDelayMs", 0}, {"writeImageMs", 0}};
        const json camera = {{"softwareVer", "5.0.0.0"},
                             {"onvif", {{"enabled", true}, {"macScope", ""}}},
                             {"behaviour", behaviour}};
        json front = camera;
        front.update({{"devName", "front"}, {"listen", "10.1.0.2"}, {"dataPort", 9008}});
        json back = camera;
        back.update({{"devName", "back"}, {"listen", "10.1.0.3"}, {"dataPort", 9100}});
        ASSERT_TRUE(StartCamsim({{"devices", {front, back}}}));
        QSettings(QStringLiteral("camprep"), QStringLiteral("cfgpush")).clear();
        QSettings(QStringLiteral("camprep"), QStringLiteral("fwbatch")).clear();
    }

    // A camera's row by its address, once its version (from the device
    // calls) shows and no camera waits to be identified; -1 when not.
    template <class Window, class List>
    int IdentifiedRow(Window& window, List& list, const char* address) {
        int row = -1;
        EXPECT_TRUE(guitest::WaitUntil(
            [&] {
                row = list.FindText(List::kColAddress, QString::fromLatin1(address));
                return row >= 0 && !list.Text(row, List::kColVersion).isEmpty() &&
                       !window.Identifying();
            },
            30000))
            << address;
        return row;
    }
    // Runs the window's action on the camera at `address` and returns its result.
    template <class Window, class List, class Action>
    QString RunOn(Window& window, List& list, const char* address, Action action) {
        for (int row = 0; row < list.Rows(); ++row) {
            list.SetChecked(row, list.Text(row, List::kColAddress) == QString::fromLatin1(address));
        }
        action();
        EXPECT_TRUE(guitest::WaitUntil([&] { return !window.Busy(); }, 60000));
        return list.Text(list.FindText(List::kColAddress, QString::fromLatin1(address)),
                         List::kColResult);
    }
};

TEST_F(OnvifWindowTest, FwbatchListsIdentifiesAndUpgradesTheCamerasAtTheirDataPorts) {
    fwbatch::FwbatchDlgOptions options;
    options.upgrade.timings.connectMs = 3000;
    options.upgrade.connectEnv.hostAddresses = [] { return std::vector<std::string>{}; };
    fwbatch::CFwbatchDlg window(std::move(options));
    using List = fwbatch::DeviceListCtrl;
    List& list = window.DeviceList();
    for (const char* address : {"10.1.0.2", "10.1.0.3"}) {
        const int row = IdentifiedRow(window, list, address);
        ASSERT_GE(row, 0);
        EXPECT_EQ(list.Text(row, List::kColVersion), "5.0.0.0");
        EXPECT_EQ(list.Record(row).dataPort, 9008);  // the default: the answer does not tell it
    }
    const int front = list.FindText(List::kColAddress, QStringLiteral("10.1.0.2"));
    EXPECT_EQ(list.Text(front, List::kColName), "front");
    EXPECT_EQ(list.Text(front, List::kColMac), "02:53:49:4D:00:00");  // from GetNetworkInterfaces
    ASSERT_EQ(list.Rows(), 2);

    window.OnFileChosen(QStringLiteral(CAMPREP_TEST_DATA_DIR "/fwbatch/sw_250.pkg"));
    const auto upgrade = [&window] { window.OnUpgrade(); };
    EXPECT_EQ(RunOn(window, list, "10.1.0.2", upgrade), "Upgraded successfully!");
    EXPECT_EQ(RunOn(window, list, "10.1.0.3", upgrade), "Device connection failed!");

    // The operator's data port: the rows take it at once, and it is kept.
    window.Fleet()->ChooseDataPort(9100);
    EXPECT_EQ(list.Record(list.FindText(List::kColAddress, QStringLiteral("10.1.0.3"))).dataPort,
              9100);
    EXPECT_EQ(QSettings(QStringLiteral("camprep"), QStringLiteral("fwbatch"))
                  .value("search/onvifDataPort")
                  .toInt(),
              9100);
    EXPECT_EQ(RunOn(window, list, "10.1.0.3", upgrade), "Upgraded successfully!");
    window.close();
}

TEST_F(OnvifWindowTest, CfgpushListsIdentifiesAndPushesACameraAtTheDefaultDataPort) {
    cfgpush::PushWorkerGroup workers;
    cfgpush::CfgpushDlgOptions options;
    options.push.connectEnv.hostAddresses = [] { return std::vector<std::string>{}; };
    cfgpush::CCfgpushDlg window(workers, std::move(options));
    using List = cfgpush::DeviceListCtrl;
    List& list = window.DeviceList();
    const int row = IdentifiedRow(window, list, "10.1.0.2");
    ASSERT_GE(row, 0);
    EXPECT_EQ(list.Text(row, List::kColName), "front");
    EXPECT_EQ(list.Text(row, List::kColMac), "02:53:49:4D:00:00");

    window.OnFileChosen(QStringLiteral(CAMPREP_TEST_DATA_DIR "/fac/full.fac"));
    EXPECT_EQ(RunOn(window, list, "10.1.0.2", [&window] { window.OnSetDefaultConfig(); }),
              "Success!");
    window.close();
    workers.JoinAll();
}

}  // namespace
