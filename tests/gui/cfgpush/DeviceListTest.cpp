// The device list as the search fills it: devices arriving at the top,
// answering again (one row, refreshed in place), leaving; MAC identity;
// Select All and Clear All; and the real search through the window.

#include <QTableWidget>

#include "GuiTestSupport.h"
#include "cfgpush/app/DeviceListCtrl.h"
#include "lanscout/Responder.h"

namespace {

using cfgpush::DeviceListCtrl;
using guitest::CfgpushWindowTest;
using guitest::DeviceAnswer;

class DeviceListWindowTest : public CfgpushWindowTest {
protected:
    DeviceListCtrl& List() { return Window().DeviceList(); }
    QString Cell(int row, int column) { return List().Text(row, column); }
};

TEST_F(DeviceListWindowTest, NewDevicesArriveAtTheTopWithTheirColumns) {
    OpenWindow();
    DeviceAnswer first;
    first.devName = "Gate";
    first.ip[0] = "192.168.1.10";
    first.productModel = "IPC-A1";
    first.softwareVer = "3.4.2";
    first.build = "1234";
    first.mask[1] = "7.0.0.0";
    PostAnswer("aa:bb:cc:00:00:01", first);
    DeviceAnswer second;
    second.devName = "前门摄像机 &amp; 2";  // UTF-8, escaped in the answer
    second.ip[0] = "192.168.1.11";
    second.softwareVer = "4.0.1beta";
    second.build = "12";
    PostAnswer("aa:bb:cc:00:00:02", second, 3);
    guitest::Pump();

    ASSERT_EQ(List().Rows(), 2);
    EXPECT_EQ(MacColumn(), (std::vector<QString>{"AA:BB:CC:00:00:02", "AA:BB:CC:00:00:01"}));
    EXPECT_EQ(Cell(1, DeviceListCtrl::kColCheck), "");
    EXPECT_EQ(Cell(1, DeviceListCtrl::kColAddress), "192.168.1.10");
    EXPECT_EQ(Cell(1, DeviceListCtrl::kColName), "Gate");
    EXPECT_EQ(Cell(1, DeviceListCtrl::kColModel), "IPC-A1");
    EXPECT_EQ(Cell(1, DeviceListCtrl::kColVersion), "3.4.2.7(1234)");
    EXPECT_EQ(Cell(1, DeviceListCtrl::kColResult), "");
    EXPECT_EQ(Cell(0, DeviceListCtrl::kColName), QString::fromUtf8("前门摄像机 & 2"));
    EXPECT_EQ(Cell(0, DeviceListCtrl::kColVersion), "4.0.1(12)beta");
    EXPECT_FALSE(List().IsChecked(0));
    EXPECT_FALSE(List().IsChecked(1));
    // Each row owns its record; the record keeps the MAC as the search gave it.
    EXPECT_STREQ(List().Record(1).mac, "aa:bb:cc:00:00:01");
    EXPECT_EQ(List().RecordCount(), 2u);
}

TEST_F(DeviceListWindowTest, ADeviceAnsweringAgainKeepsItsRowAndPlaceWithTheNewValues) {
    OpenWindow();
    PostAnswer("aa:bb:cc:00:00:01");
    PostAnswer("aa:bb:cc:00:00:02");
    PostAnswer("aa:bb:cc:00:00:03");
    guitest::Pump();
    List().SetChecked(1, true);
    List().SetResultText(1, "Success!");

    DeviceAnswer changed;
    changed.ip[0] = "10.0.0.99";
    changed.devName = "renamed";
    changed.softwareVer = "2.1.0";
    changed.build = "";  // no build: -1, no decoration
    changed.dataPort = 9100;
    PostAnswer("aa:bb:cc:00:00:02", changed, 3);
    guitest::Pump();

    ASSERT_EQ(List().Rows(), 3);
    EXPECT_EQ(MacColumn(), (std::vector<QString>{"AA:BB:CC:00:00:03", "AA:BB:CC:00:00:02",
                                                 "AA:BB:CC:00:00:01"}));
    EXPECT_EQ(Cell(1, DeviceListCtrl::kColAddress), "10.0.0.99");
    EXPECT_EQ(Cell(1, DeviceListCtrl::kColName), "renamed");
    EXPECT_EQ(Cell(1, DeviceListCtrl::kColVersion), "2.1.0");
    // The check box and the result are the row's, not the answer's.
    EXPECT_TRUE(List().IsChecked(1));
    EXPECT_EQ(Cell(1, DeviceListCtrl::kColResult), "Success!");
    // The row's record now holds the new answer whole.
    EXPECT_EQ(List().Record(1).dataPort, 9100);
    EXPECT_EQ(List().Record(1).build, -1);
    EXPECT_EQ(List().RecordCount(), 3u);
}

TEST_F(DeviceListWindowTest, AGoneDeviceLosesItsRowAndNothingElseMoves) {
    OpenWindow();
    for (const char* mac : {"aa:bb:cc:00:00:01", "aa:bb:cc:00:00:02", "aa:bb:cc:00:00:03"}) {
        PostAnswer(mac);
    }
    guitest::Pump();
    List().SetChecked(0, true);
    PostGone("aa:bb:cc:00:00:02");
    guitest::Pump();
    EXPECT_EQ(MacColumn(), (std::vector<QString>{"AA:BB:CC:00:00:03", "AA:BB:CC:00:00:01"}));
    EXPECT_TRUE(List().IsChecked(0));
    EXPECT_STREQ(List().Record(1).mac, "aa:bb:cc:00:00:01");
    EXPECT_EQ(List().RecordCount(), 2u);

    // A device without a row: nothing changes.
    PostGone("aa:bb:cc:00:00:09");
    guitest::Pump();
    EXPECT_EQ(List().Rows(), 2);
}

TEST_F(DeviceListWindowTest, SameMacInTwoLetterCasesIsTwoDevicesButOneGoneNoticeMatchesEither) {
    OpenWindow();
    PostAnswer("aa:bb:cc:00:00:0a");
    PostAnswer("AA:BB:CC:00:00:0A");
    guitest::Pump();
    // Identity is the exact MAC text: two rows showing the same upper-case MAC.
    ASSERT_EQ(List().Rows(), 2);
    EXPECT_EQ(Cell(0, DeviceListCtrl::kColMac), Cell(1, DeviceListCtrl::kColMac));
    EXPECT_STREQ(List().Record(0).mac, "AA:BB:CC:00:00:0A");

    // Answering again refreshes only the row of the same text.
    DeviceAnswer again;
    again.devName = "lower";
    PostAnswer("aa:bb:cc:00:00:0a", again);
    guitest::Pump();
    EXPECT_EQ(Cell(1, DeviceListCtrl::kColName), "lower");
    EXPECT_EQ(Cell(0, DeviceListCtrl::kColName), "camera");

    // A gone notice compares the displayed MAC: it removes the first row
    // from the top, whichever device that is.
    PostGone("aa:bb:cc:00:00:0a");
    guitest::Pump();
    ASSERT_EQ(List().Rows(), 1);
    EXPECT_STREQ(List().Record(0).mac, "aa:bb:cc:00:00:0a");
}

TEST_F(DeviceListWindowTest, AnswersOfOtherSeriesOrWithoutTheRootAreDropped) {
    OpenWindow();
    DeviceAnswer other;
    other.series = "XYZ_NVR";
    PostAnswer("aa:bb:cc:00:00:01", other);
    PostReport("aa:bb:cc:00:00:02", 1, "<other><productInfo/></other>");
    PostReport("aa:bb:cc:00:00:03", 7, guitest::AnswerXml({}));  // unknown kind
    DeviceAnswer kmx;
    kmx.series = "KMX_NVR";  // Cfgpush takes every "KMX" series
    PostAnswer("aa:bb:cc:00:00:04", kmx);
    DeviceAnswer noSeries;
    noSeries.series = "";
    PostAnswer("aa:bb:cc:00:00:05", noSeries);
    guitest::Pump();
    EXPECT_EQ(MacColumn(), (std::vector<QString>{"AA:BB:CC:00:00:05", "AA:BB:CC:00:00:04"}));

    // A gone notice of another series is dropped like its answers.
    PostAnswer("aa:bb:cc:00:00:01");
    guitest::Pump();
    PostGone("aa:bb:cc:00:00:01", other);
    guitest::Pump();
    EXPECT_EQ(List().Rows(), 3);
}

TEST_F(DeviceListWindowTest, SelectAllAndClearAllWorkOnTheCheckBoxesOnly) {
    OpenWindow();
    Click(1001);  // empty list: nothing happens
    Click(1002);
    EXPECT_EQ(List().Rows(), 0);

    PostAnswer("aa:bb:cc:00:00:01");
    PostAnswer("aa:bb:cc:00:00:02");
    guitest::Pump();
    List().SetResultText(1, "Failed!");
    List().selectRow(0);
    Click(1001);
    EXPECT_TRUE(List().IsChecked(0));
    EXPECT_TRUE(List().IsChecked(1));
    EXPECT_EQ(Cell(1, DeviceListCtrl::kColResult), "Failed!");
    EXPECT_TRUE(List().item(0, 1)->isSelected());

    // A device that arrives after Select All comes in unchecked.
    PostAnswer("aa:bb:cc:00:00:03");
    guitest::Pump();
    EXPECT_FALSE(List().IsChecked(0));
    EXPECT_TRUE(List().IsChecked(1));

    Click(1002);
    for (int row = 0; row < List().Rows(); ++row) {
        EXPECT_FALSE(List().IsChecked(row)) << row;
    }
    EXPECT_EQ(Cell(2, DeviceListCtrl::kColResult), "Failed!");
    EXPECT_EQ(MacColumn(), (std::vector<QString>{"AA:BB:CC:00:00:03", "AA:BB:CC:00:00:02",
                                                 "AA:BB:CC:00:00:01"}));
}

TEST_F(DeviceListWindowTest, TheOperatorChecksARowByItsBox) {
    OpenWindow();
    PostAnswer("aa:bb:cc:00:00:01");
    guitest::Pump();
    QTableWidgetItem* box = List().item(0, DeviceListCtrl::kColCheck);
    EXPECT_TRUE(box->flags() & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(List().item(0, DeviceListCtrl::kColMac)->flags() & Qt::ItemIsEditable);
    box->setCheckState(Qt::Checked);
    EXPECT_TRUE(List().IsChecked(0));
}

// The search itself: the window registers its callback, starts the search
// once an interface other than loopback runs, and lists what a responder in
// the namespace answers; a device that stops answering is removed.
TEST_F(DeviceListWindowTest, TheRealSearchFillsTheListAndEmptiesIt) {
    ASSERT_TRUE(nstest::CreateTestInterface("gui0"));
    lanscout::Responder responder;
    ASSERT_EQ(responder.Start(), LANSCOUT_OK);
    DeviceAnswer a;
    a.devName = "one";
    DeviceAnswer b;
    b.devName = "two";
    DeviceAnswer nvr;
    nvr.series = "OTHER";
    ASSERT_EQ(responder.Join("02:00:00:00:00:01", guitest::AnswerXml(a)), LANSCOUT_OK);
    ASSERT_EQ(responder.Join("02:00:00:00:00:02", guitest::AnswerXml(b)), LANSCOUT_OK);
    ASSERT_EQ(responder.Join("02:00:00:00:00:03", guitest::AnswerXml(nvr)), LANSCOUT_OK);

    OpenWindow();
    guitest::Pump(100);
    EXPECT_EQ(List().Rows(), 0);  // the network is not up yet
    ASSERT_TRUE(nstest::SetTestInterfaceUp("gui0", true));
    ASSERT_TRUE(guitest::WaitUntil([&] { return List().Rows() == 2; }));
    EXPECT_TRUE(Window().Discovery().SearchStarted());
    EXPECT_NE(RowOf("02:00:00:00:00:01"), -1);
    EXPECT_NE(RowOf("02:00:00:00:00:02"), -1);

    ASSERT_TRUE(responder.Leave("02:00:00:00:00:01"));
    ASSERT_TRUE(guitest::WaitUntil([&] { return List().Rows() == 1; }, 30000));
    EXPECT_EQ(MacColumn(), (std::vector<QString>{"02:00:00:00:00:02"}));
    CloseWindow();
    responder.Stop();
}

}  // namespace
