// The window as it opens: title, texts and headings in the locale's
// language, every control of the template at its place, the hidden and the
// disabled ones, the busy animation, and closing by Enter, Escape or the
// close box, each with the same shutdown.

#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <chrono>

#include "GuiTestSupport.h"
#include "cfgpush/app/CfgpushApp.h"
#include "cfgpush/app/DeviceListCtrl.h"
#include "cfgpush/app/LogoFrame.h"
#include "discovery/WindowMessages.h"
#include "tests/integration/platform/WatchedNetwork.h"
#include "tests/support/HangGuard.h"
#include "ui/BusyAnimation.h"
#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"

namespace {

using guitest::CfgpushWindowTest;

struct ExpectedTexts {
    const char* locale;
    const char* title;
    // Buttons 1001, 1002, 1004, 1005, busy text 1007, labels 1020, 1021,
    // 1022, 1023, 1019, 1024, 1025.
    std::vector<std::pair<int, const char*>> controls;
    std::vector<const char*> headings;  // columns 0 to 6
};

// The texts as the window must show them, typed from the string table of
// the product (not read from the project's files).
const ExpectedTexts kEnglish{
    "en_GB.UTF-8",
    "The Import Profiles tool 5.0.0.3",
    {{1001, "Select All"},
     {1002, "Clear All"},
     {1004, "Browse"},
     {1005, "Set default configuration"},
     {1007, "Being configured, please wait. . . . . ."},
     {1020, "Product Type"},
     {1021, "Logo:"},
     {1022, "Customer code"},
     {1023, "Picture type"},
     {1019, "Select a profile"},
     {1024, "User Name:"},
     {1025, "Password:"}},
    {"", "IP Address", "MAC Address", "Device Name", "Product Type", "Software version", "Result"}};

const ExpectedTexts kChinese{
    "zh_CN.UTF-8",
    "导入配置文件工具 5.0.0.3",
    {{1001, "全选"},
     {1002, "清除"},
     {1004, "浏览"},
     {1005, "设置出厂属性"},
     {1007, "正在配置，请耐心等待。。。。。。"},
     {1020, "设备类型"},
     {1021, "logo图片"},
     {1022, "客户代码"},
     {1023, "图片类型"},
     {1019, "选择配置文件"},
     {1024, "用户名称"},
     {1025, "用户密码"}},
    {"", "IP 地址", "MAC地址", "设备名称", "产品类型", "软件版本", "结果"}};

void ExpectTexts(cfgpush::CCfgpushDlg& window, const ExpectedTexts& expected,
                 const std::function<QString(int)>& controlText) {
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8(expected.title));
    for (const auto& [id, text] : expected.controls) {
        EXPECT_EQ(controlText(id), QString::fromUtf8(text)) << "control " << id;
    }
    cfgpush::DeviceListCtrl& list = window.DeviceList();
    ASSERT_EQ(list.columnCount(), 7);
    for (int column = 0; column < 7; ++column) {
        EXPECT_EQ(list.horizontalHeaderItem(column)->text(),
                  QString::fromUtf8(expected.headings[static_cast<size_t>(column)]))
            << "column " << column;
    }
}

TEST_F(CfgpushWindowTest, OpensInEnglishOutsideChineseLocales) {
    for (const char* locale : {"en_GB.UTF-8", "de_DE.UTF-8", "C", "zh_SG.UTF-8"}) {
        OpenWindow(locale);
        SCOPED_TRACE(locale);
        ExpectTexts(Window(), kEnglish, [this](int id) { return ControlText(id); });
        CloseWindow();
    }
}

TEST_F(CfgpushWindowTest, OpensInChineseInTheThreeChineseLocales) {
    for (const char* locale : {"zh_CN.UTF-8", "zh_TW.UTF-8", "zh_HK.UTF-8"}) {
        OpenWindow(locale);
        SCOPED_TRACE(locale);
        ExpectTexts(Window(), kChinese, [this](int id) { return ControlText(id); });
        CloseWindow();
    }
}

TEST_F(CfgpushWindowTest, LanguageRuleFollowsLcAllThenLcMessagesThenLang) {
    using cfgpush::CCfgpushApp;
    EXPECT_EQ(CCfgpushApp::InterfaceLanguage("zh_CN.UTF-8", "en_US.UTF-8", "en_US.UTF-8"), 2052);
    EXPECT_EQ(CCfgpushApp::InterfaceLanguage(nullptr, "zh_TW.UTF-8", "en_US.UTF-8"), 2052);
    EXPECT_EQ(CCfgpushApp::InterfaceLanguage("", "", "zh_HK.UTF-8"), 2052);
    EXPECT_EQ(CCfgpushApp::InterfaceLanguage("en_US.UTF-8", nullptr, "zh_CN.UTF-8"), 2057);
    EXPECT_EQ(CCfgpushApp::InterfaceLanguage(nullptr, nullptr, nullptr), 2057);
    EXPECT_EQ(CCfgpushApp::InterfaceLanguage("zh_SG.UTF-8", nullptr, nullptr), 2057);
}

TEST_F(CfgpushWindowTest, TheWindowTakesTheRunsTableWhenGivenNone) {
    setenv("LC_ALL", "zh_CN.UTF-8", 1);
    cfgpush::CfgpushDlgOptions options;
    options.texts = nullptr;
    m_window = std::make_unique<cfgpush::CCfgpushDlg>(m_workers, std::move(options));
    EXPECT_EQ(Window().windowTitle(), QString::fromUtf8("导入配置文件工具 5.0.0.3"));
}

TEST_F(CfgpushWindowTest, InitialStatesAndHiddenControls) {
    OpenWindow();
    Window().show();
    ASSERT_TRUE(guitest::WaitUntil([&] { return Window().isVisible(); }));

    // Never shown, and the busy pair hidden after start.
    for (int id : {1011, 1013, 1022, 1023, 1006, 1007}) {
        EXPECT_TRUE(Window().ControlById(id)->isHidden()) << id;
    }
    for (int id : {1000, 1001, 1002, 1003, 1004, 1005, 1008, 1009, 1010, 1012, 1019, 1020, 1021,
                   1024, 1025}) {
        EXPECT_TRUE(Window().ControlById(id)->isVisible()) << id;
    }
    for (int id : {1001, 1002, 1004, 1005, 1010}) {
        EXPECT_TRUE(Window().ControlById(id)->isEnabled()) << id;
    }

    auto* pictureType = qobject_cast<QComboBox*>(Window().ControlById(1013));
    ASSERT_NE(pictureType, nullptr);
    ASSERT_EQ(pictureType->count(), 2);
    EXPECT_EQ(pictureType->itemText(0), "JPG( 3.4 )");
    EXPECT_EQ(pictureType->itemText(1), "PNG( 4.0 )");
    EXPECT_EQ(pictureType->currentIndex(), 0);
    EXPECT_FALSE(pictureType->isEnabled());

    EXPECT_EQ(qobject_cast<QComboBox*>(Window().ControlById(1010))->count(), 0);
    EXPECT_EQ(qobject_cast<QComboBox*>(Window().ControlById(1011))->count(), 0);
    EXPECT_EQ(ControlText(1003), "");
    EXPECT_EQ(ControlText(1008), "admin");
    EXPECT_EQ(ControlText(1009), "739164");
    EXPECT_EQ(qobject_cast<QLineEdit*>(Window().ControlById(1009))->echoMode(),
              QLineEdit::Password);
    EXPECT_EQ(qobject_cast<QLineEdit*>(Window().ControlById(1008))->echoMode(), QLineEdit::Normal);

    cfgpush::DeviceListCtrl& list = Window().DeviceList();
    EXPECT_EQ(list.Rows(), 0);
    EXPECT_TRUE(list.showGrid());
    const int widths[] = {25, 130, 130, 120, 120, 80, 180};
    for (int column = 0; column < 7; ++column) {
        EXPECT_EQ(list.columnWidth(column), widths[column]) << column;
        EXPECT_TRUE(list.horizontalHeader()->defaultAlignment() & Qt::AlignLeft);
    }

    // The logo frame starts as a white frame, not a bitmap control.
    EXPECT_FALSE(Window().Logo().IsBitmapControl());
    EXPECT_FALSE(Window().Busy());
    EXPECT_FALSE(Window().Discovery().SearchStarted());  // only loopback runs here
}

TEST_F(CfgpushWindowTest, TheBusyAnimationIsTheProgramsGifPlaying) {
    OpenWindow();
    auto* animation = dynamic_cast<ui::BusyAnimation*>(Window().ControlById(1006));
    ASSERT_NE(animation, nullptr);
    EXPECT_TRUE(animation->Loaded());
    EXPECT_EQ(animation->FrameCount(), 8);
    EXPECT_TRUE(animation->Playing());
}

// Template 102 in dialog units (x, y, width, height), typed from the
// template; combo boxes give the dropped list's height, not checked here.
struct Placed {
    int id;
    int x, y, width, height;
    bool dropList;
};
const Placed kPlaces[] = {
    {1000, 7, 7, 410, 189, false},    {1001, 7, 200, 52, 14, false},
    {1002, 66, 200, 52, 14, false},   {1003, 71, 249, 227, 13, false},
    {1004, 308, 248, 62, 14, false},  {1005, 173, 355, 84, 17, false},
    {1006, 193, 201, 17, 14, false},  {1007, 217, 205, 135, 10, false},
    {1020, 22, 303, 38, 21, false},   {1010, 65, 302, 82, 163, true},
    {1011, 53, 343, 82, 140, true},   {1021, 173, 303, 38, 12, false},
    {1012, 214, 303, 133, 31, false}, {1022, 14, 345, 37, 16, false},
    {1013, 53, 366, 82, 140, true},   {1023, 14, 367, 31, 17, false},
    {1019, 21, 250, 46, 13, false},   {1008, 71, 225, 84, 13, false},
    {1024, 22, 227, 46, 9, false},    {1009, 214, 225, 84, 13, false},
    {1025, 173, 227, 38, 9, false},
};

int Du(int du, int base, int divisor) {
    return (du * base + divisor / 2) / divisor;
}

TEST_F(CfgpushWindowTest, ControlsSitAtTheirTemplatePlacesAndStayWhenResized) {
    OpenWindow();
    const ui::DialogBaseUnits base = ui::BaseUnitsOf(Window().font());
    // A 9-point sans-serif font: plausible base units.
    EXPECT_GE(base.x, 5);
    EXPECT_LE(base.x, 10);
    EXPECT_GE(base.y, 11);
    EXPECT_LE(base.y, 20);
    EXPECT_EQ(Window().size(), QSize(Du(424, base.x, 4), Du(401, base.y, 8)));

    auto check = [&] {
        for (const Placed& p : kPlaces) {
            const QRect r = Window().ControlById(p.id)->geometry();
            EXPECT_EQ(r.x(), Du(p.x, base.x, 4)) << p.id;
            EXPECT_EQ(r.y(), Du(p.y, base.y, 8)) << p.id;
            EXPECT_EQ(r.width(), Du(p.width, base.x, 4)) << p.id;
            if (!p.dropList) {
                EXPECT_EQ(r.height(), Du(p.height, base.y, 8)) << p.id;
            }
        }
    };
    check();
    Window().show();
    Window().resize(Window().size() + QSize(300, 200));
    guitest::Pump();
    check();
    Window().resize(QSize(200, 150));
    guitest::Pump();
    check();
}

TEST_F(CfgpushWindowTest, TabOrderIsTemplateOrder) {
    OpenWindow();
    Window().show();
    ASSERT_TRUE(guitest::WaitUntil([&] { return Window().isVisible(); }));
    // The controls that take the focus, in template order (hidden and
    // disabled ones are skipped by the focus chain).
    std::vector<int> order;
    QWidget* start = Window().ControlById(1000);
    QWidget* w = start;
    do {
        const int id = ui::ControlIdOf(w);
        if (id != ui::kNoControlId && w->focusPolicy() & Qt::TabFocus && w->isVisible() &&
            w->isEnabled()) {
            order.push_back(id);
        }
        w = w->nextInFocusChain();
    } while (w != start && order.size() < 40);
    EXPECT_EQ(order, (std::vector<int>{1000, 1001, 1002, 1003, 1004, 1005, 1010, 1008, 1009}));
}

// Enter (outside a button) and Escape end the window like the close box:
// the search stops and the window shuts down.
TEST_F(CfgpushWindowTest, EnterAndEscapeCloseTheWindowWithTheSameShutdown) {
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        SCOPED_TRACE(key);
        OpenWindow();
        PostAnswer("aa:bb:cc:00:00:01");
        guitest::Pump();
        ASSERT_EQ(Window().DeviceList().Rows(), 1);
        QTimer::singleShot(0, &Window(), [&] {
            QWidget* target = Window().ControlById(1000);
            target->setFocus();
            const Qt::KeyboardModifiers mods =
                key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
            QKeyEvent press(QEvent::KeyPress, key, mods);
            QApplication::sendEvent(target, &press);
        });
        const int result = Window().exec();
        EXPECT_EQ(result, key == Qt::Key_Escape ? QDialog::Rejected : QDialog::Accepted);
        EXPECT_TRUE(Window().ShutDown());
        EXPECT_EQ(Window().DeviceList().RecordCount(), 0u);
        EXPECT_FALSE(Window().Mailbox()->Attached());
        m_window.reset();
    }
}

TEST_F(CfgpushWindowTest, EnterOnAFocusedButtonPressesItInsteadOfClosing) {
    OpenWindow();
    PostAnswer("aa:bb:cc:00:00:01");
    guitest::Pump();
    Window().show();
    ASSERT_TRUE(guitest::WaitUntil([&] { return Window().isVisible(); }));
    QWidget* selectAll = Window().ControlById(1001);
    selectAll->setFocus();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(selectAll, &press);
    EXPECT_TRUE(Window().isVisible());
    EXPECT_FALSE(Window().ShutDown());
    EXPECT_TRUE(Window().DeviceList().IsChecked(0));
}

TEST_F(CfgpushWindowTest, CloseBoxShutsDownOnceAndLaterPostsAreRefused) {
    OpenWindow();
    Window().show();
    PostAnswer("aa:bb:cc:00:00:01");
    PostAnswer("aa:bb:cc:00:00:02");
    guitest::Pump();
    PostAnswer("aa:bb:cc:00:00:03");  // still queued when the window closes
    Window().close();
    EXPECT_TRUE(Window().ShutDown());
    EXPECT_EQ(Window().DeviceList().RecordCount(), 0u);
    // A search report or a worker's result after the close goes nowhere;
    // its block is freed (the leak checker watches).
    PostAnswer("aa:bb:cc:00:00:04");
    EXPECT_FALSE(Window().Mailbox()->Post(winmsg::WM_PUSH_RESULT, 0, 0));
    guitest::Pump();
    EXPECT_EQ(Window().DeviceList().Rows(), 0);
    // A second close changes nothing.
    Window().close();
    m_window.reset();
}

TEST_F(CfgpushWindowTest, ClosingWhileTheNetworkIsDownDoesNotWait) {
    nstest::WatchedNetwork net;
    cfgpush::CfgpushDlgOptions options;
    options.discovery.net = &net;
    // A day between polls: a close that waited for the next one would hang.
    options.discovery.networkPollMs = testsupport::kLongWaitMs;
    OpenWindow("en_GB.UTF-8", std::move(options));
    Window().show();
    ASSERT_TRUE(net.WaitAsked(1)) << "the window's network watch never asked about the network";
    guitest::Pump();
    EXPECT_FALSE(Window().Discovery().SearchStarted());
    EXPECT_TRUE(testsupport::ReturnsWithoutHanging("closing the window while the network is down",
                                                   [&] { CloseWindow(); }));
    EXPECT_EQ(net.Asked(), 1);
}

}  // namespace
