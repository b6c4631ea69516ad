// The AI version query through the window: versions in their columns and
// the columns appearing, a device without AI, a failure, the show/hide
// button, and the window answering while the query runs.

#include "FwbatchTestSupport.h"
#include "discovery/WindowMessages.h"
#include "fwbatch/app/FwbatchMessages.h"

namespace {

using fwbatch::DeviceListCtrl;
using fwtest::FwbatchWindowTest;

TEST_F(FwbatchWindowTest, AiVersionsFillTheirColumnsAndShowThem) {
    sim::DeviceConfig withAi = Device(0);
    withAi.identity.ai = sim::AiVersions{"1.2.0", "2.0.1", "1.0.5"};
    sim::DeviceConfig withoutAi = Device(1);
    withoutAi.identity.ai.reset();
    sim::DeviceConfig refusing = Device(2);
    refusing.faults.refuseLogin = 1;
    StartFleet({withAi, withoutAi, refusing});
    OpenWindow();
    for (size_t i = 0; i < 3; ++i) {
        PostSimDevice(i);
    }
    PostAnswer("02:00:00:00:00:0a");  // not checked: untouched
    guitest::Pump();
    Click(1002);
    List().SetChecked(RowOf("02:00:00:00:00:0A"), false);
    std::vector<uint32_t> order;
    Window().SetMessageObserver([&](uint32_t message, uintptr_t, intptr_t) {
        if (message != winmsg::WM_DEVICE_SEARCH) {
            order.push_back(message);
        }
    });

    Click(1019);
    EXPECT_TRUE(Window().AiQueryRunning());
    EXPECT_FALSE(Enabled(1019));
    // Nothing else that reports into the checked rows starts meanwhile: an
    // upgrade is refused as during another upgrade.
    for (int id : {1001, 1002, 1003, 1007, 1008}) {
        EXPECT_FALSE(Enabled(id)) << id;
    }
    Window().OnFileChosen(fwtest::Package("sw_250.pkg"));
    Window().OnUpgrade();
    // The window keeps handling messages while the devices are asked.
    PostAnswer("02:00:00:00:00:0b");
    ASSERT_TRUE(guitest::WaitUntil([&] { return RowOf("02:00:00:00:00:0B") >= 0; }));
    ASSERT_TRUE(guitest::WaitUntil([&] { return !Window().AiQueryRunning(); }, 60000));
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Enabled(1019));
    EXPECT_TRUE(Enabled(1008));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(m_sim->Records(i).imagesReceived, 0u) << i;
    }
    EXPECT_TRUE(Window().AiColumnsShown());
    for (int c : {DeviceListCtrl::kColAiStruct, DeviceListCtrl::kColAiFace, DeviceListCtrl::kColAiVehicle}) {
        EXPECT_EQ(List().columnWidth(c), 80) << c;
    }
    EXPECT_EQ(List().columnWidth(DeviceListCtrl::kColAiMatchFace), 0);
    EXPECT_EQ(Cell(SimMac(0), DeviceListCtrl::kColAiStruct), "1.2.0");
    EXPECT_EQ(Cell(SimMac(0), DeviceListCtrl::kColAiFace), "2.0.1");
    EXPECT_EQ(Cell(SimMac(0), DeviceListCtrl::kColAiVehicle), "1.0.5");
    EXPECT_EQ(Cell(SimMac(0), DeviceListCtrl::kColResult),
              QString::fromUtf8("Get AI version infomation successfully！"));
    EXPECT_EQ(Cell(SimMac(1), DeviceListCtrl::kColResult), "Not support AI function!");
    EXPECT_EQ(Cell(SimMac(1), DeviceListCtrl::kColAiStruct), "");
    EXPECT_EQ(Cell(SimMac(2), DeviceListCtrl::kColResult),
              QString::fromUtf8("Fail to get Ai version infomation！"));
    EXPECT_EQ(Cell("02:00:00:00:00:0A", DeviceListCtrl::kColResult), "");
    // Rows are asked from the top (newest first): the refused login, then
    // the device without AI, whose answer is a success that shows the
    // columns before its result, once; the last message says the worker is
    // done.
    using namespace fwbatch::msg;
    const std::vector<uint32_t> expected = {winmsg::WM_AI_VERSION_RESULT, WM_AI_COLUMNS_SHOW,
                                            winmsg::WM_AI_VERSION_RESULT,
                                            winmsg::WM_AI_VERSION_RESULT, WM_AI_QUERY_DONE};
    EXPECT_EQ(order, expected);
    EXPECT_TRUE(m_messages.empty());

    // Nothing checked: message 1062 and no query.
    Click(1003);
    Click(1019);
    EXPECT_EQ(m_messages, (std::vector<QString>{"Please select the device to get AI version!"}));
    EXPECT_FALSE(Window().AiQueryRunning());
}

TEST_F(FwbatchWindowTest, TheToggleShowsAndHidesTheAiColumns) {
    struct Row {
        const char* locale;
        const char* show;
        const char* hide;
    };
    const Row rows[] = {
        {"zh_CN.UTF-8", "显示AI版本信息", "隐藏AI版本信息"},
        {"en_GB.UTF-8", "", ""},
        {"zh_TW.UTF-8", "", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.locale);
        OpenWindow(r.locale);
        EXPECT_EQ(ControlText(1022), QString::fromUtf8(r.show));
        Click(1022);  // before any query: shown
        EXPECT_TRUE(Window().AiColumnsShown());
        EXPECT_EQ(List().columnWidth(DeviceListCtrl::kColAiFace), 80);
        EXPECT_EQ(ControlText(1022), QString::fromUtf8(r.hide));
        Click(1022);
        EXPECT_FALSE(Window().AiColumnsShown());
        EXPECT_EQ(List().columnWidth(DeviceListCtrl::kColAiFace), 0);
        EXPECT_EQ(ControlText(1022), QString::fromUtf8(r.show));
        CloseWindow();
    }
}

}  // namespace
