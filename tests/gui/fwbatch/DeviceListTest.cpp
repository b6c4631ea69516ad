// Fwbatch's device list as the search fills it: rows numbered from the
// top, a device answering again, the columns written, gone notices with and
// without a batch in its finishing stage, and what a batch protects.

#include "FwbatchTestSupport.h"
#include "discovery/WindowMessages.h"

namespace {

using fwbatch::DeviceListCtrl;
using fwtest::DeviceAnswer;
using fwtest::FwbatchWindowTest;

TEST_F(FwbatchWindowTest, RowsAreNumberedFromTheTopNewestFirst) {
    OpenWindow();
    PostAnswer("02:00:00:00:00:01");
    PostAnswer("02:00:00:00:00:02");
    PostAnswer("02:00:00:00:00:03");
    guitest::Pump();
    EXPECT_EQ(Column(DeviceListCtrl::kColMac),
              (std::vector<QString>{"02:00:00:00:00:03", "02:00:00:00:00:02", "02:00:00:00:00:01"}));
    EXPECT_EQ(Column(DeviceListCtrl::kColIndex), (std::vector<QString>{"1", "2", "3"}));

    // Answering again: same row, same place, new values, build date and
    // result refreshed while no batch runs.
    List().SetText(1, DeviceListCtrl::kColResult, "Upgraded successfully!");
    DeviceAnswer again;
    again.devName = "gate";
    again.buildDate = "2024-05-01";
    PostAnswer("02:00:00:00:00:02", again);
    guitest::Pump();
    EXPECT_EQ(List().Rows(), 3);
    EXPECT_EQ(RowOf("02:00:00:00:00:02"), 1);
    EXPECT_EQ(List().Text(1, DeviceListCtrl::kColName), "gate");
    EXPECT_EQ(List().Text(1, DeviceListCtrl::kColBuildDate), "2024-05-01");
    EXPECT_EQ(List().Text(1, DeviceListCtrl::kColResult), "");

    // A new build date clears the result; one that differs only in case
    // leaves it.
    List().SetText(1, DeviceListCtrl::kColResult, "Upgrade failed!");
    again.buildDate = "2024-MAY-01";
    PostAnswer("02:00:00:00:00:02", again);
    guitest::Pump();
    EXPECT_EQ(List().Text(1, DeviceListCtrl::kColResult), "");
    List().SetText(1, DeviceListCtrl::kColResult, "Upgrade failed!");
    again.buildDate = "2024-may-01";
    PostAnswer("02:00:00:00:00:02", again);
    guitest::Pump();
    EXPECT_EQ(List().Text(1, DeviceListCtrl::kColResult), "Upgrade failed!");
    EXPECT_EQ(List().Text(1, DeviceListCtrl::kColBuildDate), "2024-may-01");

    // A gone notice removes its row (matched in upper case); no renumbering.
    PostGone("02:00:00:00:00:02");
    PostGone("02:00:00:00:00:99");  // no such row: nothing
    guitest::Pump();
    EXPECT_EQ(Column(DeviceListCtrl::kColIndex), (std::vector<QString>{"1", "3"}));
    EXPECT_EQ(List().RecordCount(), 2u);
}

TEST_F(FwbatchWindowTest, TheColumnsShowTheAnswer) {
    struct Row {
        int activated;
        const char* shown;
        const char* version;
        const char* build;
        const char* mask;
        const char* expectedVersion;
    };
    const Row rows[] = {
        {0, "Activated", "3.4.2", "1234", "7.0.0.0", "3.4.2.7(1234)"},
        {1, "Nonactivated", "3.4.2beta", "12", "7.0.0.0", "3.4.2.7(12)beta"},
        {2, "", "V3.4.2", "", "7.0.0.0", "V3.4.2"},
        {-1, "Activated", "2.1.0", "", "255.255.255.0", "2.1.0"},  // absent: 0
    };
    OpenWindow();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.expectedVersion);
        DeviceAnswer a;
        a.deviceActivated = r.activated;
        a.softwareVer = r.version;
        a.build = r.build;
        a.mask[1] = r.mask;
        a.devName = "\xE5\x89\x8D\xE9\x97\xA8";  // 前门, UTF-8
        a.kernelVer = "3.10.108";
        a.buildDate = "2023-11-02";
        a.ip[0] = "127.0.0.9";
        PostAnswer("02:aa:00:00:00:01", a);
        guitest::Pump();
        EXPECT_EQ(List().Text(0, DeviceListCtrl::kColActiveState), r.shown);
        EXPECT_EQ(List().Text(0, DeviceListCtrl::kColVersion), r.expectedVersion);
        EXPECT_EQ(List().Text(0, DeviceListCtrl::kColName), QString::fromUtf8("前门"));
        EXPECT_EQ(List().Text(0, DeviceListCtrl::kColMac), "02:AA:00:00:00:01");
        EXPECT_EQ(List().Text(0, DeviceListCtrl::kColAddress), "127.0.0.9");
        EXPECT_EQ(List().Text(0, DeviceListCtrl::kColKernel), "3.10.108");
        EXPECT_EQ(List().Text(0, DeviceListCtrl::kColBuildDate), "2023-11-02");
    }
    EXPECT_EQ(List().Rows(), 1);
    // Identity is case-sensitive: the same MAC in upper case is another device.
    PostAnswer("02:AA:00:00:00:01");
    guitest::Pump();
    EXPECT_EQ(List().Rows(), 2);
}

// While a batch runs and one of its devices is writing its image, a gone
// notice for any device of the batch keeps its row; one for a device
// outside the batch removes its row; new answers leave build dates and
// results alone.
TEST_F(FwbatchWindowTest, ABatchInItsFinishingStageKeepsItsRows) {
    sim::DeviceConfig writing = Device(0);
    writing.behaviour.writeImageMs = 600000;  // finishing until the window closes
    // The other device of the batch answers its login and then nothing:
    // its transfer never ends, and it never finishes.
    sim::DeviceConfig stalled = Device(1);
    stalled.faults.silence = sim::Silence::AfterLogin;
    StartFleet({writing, stalled});
    OpenWindow();
    PostSimDevice(0);
    PostSimDevice(1);
    DeviceAnswer outside;
    outside.buildDate = "2020-01-01";
    PostAnswer("02:00:00:00:00:0b", outside);
    guitest::Pump();
    List().SetChecked(RowOf(SimMac(0)), true);
    List().SetChecked(RowOf(SimMac(1)), true);

    StartUpgrade();
    ASSERT_TRUE(Window().BatchExists());
    ASSERT_TRUE(guitest::WaitUntil([&] {
        const fwbatch::UpgradeBatch* batch = Window().Batch();
        return batch != nullptr &&
               (batch->Record(0).finishing.load() || batch->Record(1).finishing.load());
    }, 60000));
    guitest::Pump();
    const QString progress = Cell(SimMac(0), DeviceListCtrl::kColResult);
    EXPECT_TRUE(progress.endsWith('%')) << progress.toStdString();

    PostGone(m_sim->Mac(1));
    PostGone("02:00:00:00:00:0b");
    DeviceAnswer changed;
    changed.buildDate = "2030-01-01";
    PostAnswer(m_sim->Mac(0), changed);
    guitest::Pump();
    EXPECT_GE(RowOf(SimMac(1)), 0);
    EXPECT_EQ(RowOf("02:00:00:00:00:0B"), -1);
    EXPECT_EQ(Cell(SimMac(0), DeviceListCtrl::kColBuildDate), "2024-03-15");  // the first answer's
    EXPECT_EQ(Cell(SimMac(0), DeviceListCtrl::kColResult), progress);
    EXPECT_TRUE(Window().Busy());
}

}  // namespace
