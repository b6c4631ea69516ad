// Selection and order in Fwbatch's list: "Choose all from same type" by
// check-box clicks, "Select All" and "Clear All", sorting by column, and
// the web page a double-click opens.

#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>

#include "FwbatchTestSupport.h"

namespace {

using fwbatch::DeviceListCtrl;
using fwtest::DeviceAnswer;
using fwtest::FwbatchWindowTest;

class SelectionTest : public FwbatchWindowTest {
protected:
    // Clicks the row's check box with the mouse, as the operator does.
    void ClickCheckBox(int row) {
        QWidget* viewport = List().viewport();
        const QRect cell = List().visualRect(List().model()->index(row, 0));
        QStyleOptionViewItem option;
        option.initFrom(&List());
        option.rect = cell;
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = List().style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator,
                                                          &option, &List());
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, box.center());
        guitest::Pump();
    }
    void AddDevice(const char* mac, const char* model, const char* ip, const char* buildDate,
                   const char* kernel = "3.10") {
        DeviceAnswer a;
        a.productModel = model;
        a.ip[0] = ip;
        a.buildDate = buildDate;
        a.kernelVer = kernel;
        PostAnswer(mac, a);
    }
};

TEST_F(SelectionTest, ChooseAllFromSameTypeFollowsCheckBoxClicksOnly) {
    OpenWindow();
    Window().show();
    AddDevice("02:00:00:00:00:01", "IPC-A", "10.0.0.1", "d1");
    AddDevice("02:00:00:00:00:02", "IPC-B", "10.0.0.2", "d2");
    AddDevice("02:00:00:00:00:03", "IPC-A", "10.0.0.3", "d3");
    guitest::Pump();
    const int a1 = RowOf("02:00:00:00:00:01");
    const int b = RowOf("02:00:00:00:00:02");
    const int a3 = RowOf("02:00:00:00:00:03");

    ClickCheckBox(a1);
    ASSERT_TRUE(List().IsChecked(a1));
    EXPECT_TRUE(Enabled(1004));
    ClickCheckBox(b);  // two types
    EXPECT_FALSE(Enabled(1004));
    ClickCheckBox(b);  // unchecked again: one type
    EXPECT_FALSE(List().IsChecked(b));
    EXPECT_TRUE(Enabled(1004));
    Click(1004);  // every IPC-A row; IPC-B keeps its state
    EXPECT_TRUE(List().IsChecked(a3));
    EXPECT_FALSE(List().IsChecked(b));

    // The program's own check changes do not count as clicks.
    Click(1003);
    EXPECT_FALSE(Enabled(1004));
    List().SetChecked(a1, true);
    EXPECT_FALSE(Enabled(1004));
    // Select All checks every row and leaves 1004 disabled, even with one type.
    Click(1002);
    EXPECT_EQ(List().IsChecked(0) + List().IsChecked(1) + List().IsChecked(2), 3);
    EXPECT_FALSE(Enabled(1004));
    ClickCheckBox(b);  // off: the rest are all IPC-A
    EXPECT_TRUE(Enabled(1004));
    Click(1003);
    EXPECT_EQ(List().IsChecked(0) + List().IsChecked(1) + List().IsChecked(2), 0);
    EXPECT_FALSE(Enabled(1004));
}

TEST_F(SelectionTest, SortableColumnsOrderByTheirFieldAndFlipOnEveryClick) {
    OpenWindow();
    // Addresses that sort differently as text and as numbers; build dates
    // in another order than the software versions.
    AddDevice("02:00:00:00:00:01", "IPC-B", "10.0.0.10", "2023-01-05", "4.9");
    AddDevice("02:00:00:00:00:02", "IPC-A", "10.0.0.9", "2021-07-30", "3.10");
    AddDevice("02:00:00:00:00:03", "IPC-C", "9.255.0.1", "2024-02-11", "4.19");
    guitest::Pump();
    auto addresses = [&] { return Column(DeviceListCtrl::kColAddress); };
    struct Row {
        int column;
        std::vector<QString> first;  // after the first click: ascending
    };
    const Row rows[] = {
        {DeviceListCtrl::kColAddress, {"9.255.0.1", "10.0.0.9", "10.0.0.10"}},
        {DeviceListCtrl::kColModel, {"10.0.0.9", "10.0.0.10", "9.255.0.1"}},
        {DeviceListCtrl::kColBuildDate, {"10.0.0.9", "10.0.0.10", "9.255.0.1"}},
        {DeviceListCtrl::kColKernel, {"10.0.0.9", "9.255.0.1", "10.0.0.10"}},  // "3.10" < "4.19" < "4.9"
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.column);
        Window().OnColumnClick(r.column);
        EXPECT_EQ(addresses(), r.first);
        Window().OnColumnClick(r.column);
        EXPECT_EQ(addresses(), std::vector<QString>(r.first.rbegin(), r.first.rend()));
    }
    // Other columns do not sort; a click on the header does the same as the handler.
    const std::vector<QString> before = addresses();
    Window().OnColumnClick(DeviceListCtrl::kColVersion);
    Window().OnColumnClick(DeviceListCtrl::kColMac);
    EXPECT_EQ(addresses(), before);
    emit List().horizontalHeader()->sectionClicked(DeviceListCtrl::kColAddress);
    EXPECT_EQ(addresses(), rows[0].first);
    // Rows keep their records: the MAC column moved with them.
    EXPECT_EQ(Cell("02:00:00:00:00:03", DeviceListCtrl::kColAddress), "9.255.0.1");
    EXPECT_EQ(QString::fromLatin1(List().Record(0).mac), "02:00:00:00:00:03");
}

TEST_F(SelectionTest, DoubleClickOpensTheDevicesWebPage) {
    OpenWindow();
    Window().show();
    DeviceAnswer standard;
    // Loopback devices need no adapter: the page is at the address given.
    standard.ip[0] = standard.ip[1] = "127.0.0.5";
    standard.httpPort = 80;
    PostAnswer("02:00:00:00:00:05", standard);
    DeviceAnswer other;
    other.ip[0] = other.ip[1] = "127.0.0.6";
    other.httpPort = 8080;
    PostAnswer("02:00:00:00:00:06", other);
    // An answer without a usable address: 0.0.0.0 would open this PC's own page.
    DeviceAnswer none;
    none.ip[0] = none.ip[1] = "0.0.0.0";
    PostAnswer("02:00:00:00:00:07", none);
    guitest::Pump();
    auto opened = [&] {
        std::vector<QString> urls;
        for (const QUrl& url : m_opened) {
            urls.push_back(url.toString());
        }
        return urls;
    };
    // The list's double-click, then the handler called directly.
    emit List().cellDoubleClicked(RowOf("02:00:00:00:00:05"), DeviceListCtrl::kColAddress);
    ASSERT_TRUE(guitest::WaitUntil([&] { return m_opened.size() == 1; }));
    Window().OnDblClickDevice(RowOf("02:00:00:00:00:07"));  // nothing
    Window().OnDblClickDevice(RowOf("02:00:00:00:00:06"));
    Window().OnDblClickDevice(7);  // no such row: nothing
    ASSERT_TRUE(guitest::WaitUntil([&] { return m_opened.size() == 2; }));
    guitest::Pump(50);
    EXPECT_EQ(opened(), (std::vector<QString>{"http://127.0.0.5", "http://127.0.0.6:8080"}));
}

}  // namespace
