// Fwbatch's window as it opens: the language rule, the texts of every
// language, the fifteen columns with the AI columns hidden, the controls'
// first state, the About box.

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QRegularExpression>

#include "FwbatchTestSupport.h"
#include "fwbatch/app/AboutDlg.h"
#include "fwbatch/app/FwbatchApp.h"
#include "ui/BusyAnimation.h"

namespace {

using fwbatch::CFwbatchApp;
using fwbatch::DeviceListCtrl;
using fwtest::FwbatchWindowTest;

TEST(FwbatchLanguage, TheLocaleChoosesTheTable) {
    struct Row {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        uint16_t table;
    };
    const Row rows[] = {
        {"zh_TW.UTF-8", nullptr, nullptr, 1028},
        {"zh_HK.UTF-8", nullptr, nullptr, 1028},  // Hong Kong reads Taiwan's table
        {"zh_CN.UTF-8", nullptr, nullptr, 2052},
        {"en_US.UTF-8", nullptr, nullptr, 2057},
        {"de_DE.UTF-8", nullptr, nullptr, 2057},
        {"zh_SG.UTF-8", nullptr, nullptr, 2057},
        {"", "zh_HK", "en_GB", 1028},  // an empty LC_ALL does not count
        {nullptr, nullptr, "C", 2057},
        {nullptr, nullptr, nullptr, 2057},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.lcAll ? r.lcAll : "-") + " " + (r.lcMessages ? r.lcMessages : "-") +
                     " " + (r.lang ? r.lang : "-"));
        EXPECT_EQ(CFwbatchApp::InterfaceLanguage(r.lcAll, r.lcMessages, r.lang), r.table);
    }
}

struct LanguageRow {
    const char* locale;
    const char* selectAll;
    const char* chooseSameType;
    const char* group;
    const char* userLabel;
    const char* firstType;
    const char* toggle;  // 1060: Simplified Chinese only
    std::vector<const char*> headings;
};

TEST_F(FwbatchWindowTest, EachLanguageShowsItsTextsAndTheFifteenColumns) {
    const std::vector<LanguageRow> rows = {
        {"en_GB.UTF-8", "Select All", "Choose all from same type", "Batch Upgrade", "Username",
         "Update Software", "",
         {"", "Index", "Camera Name", "IP Address", "MAC address", "Product Type",
          "Software Version", "Software Build Date", "Kernel version", "Device active state",
          "AI Struct Version", "AI Detect Face Version", "AI Vehicle Version",
          "AI Match Face Version", "Result"}},
        {"zh_HK.UTF-8", "全選", "選擇同類型設備", "批量升級", "使用者名稱", "升級軟體", "",
         {"", "序號", "攝影機名稱", "IP位址", "MAC位址", "產品型號", "軟體版本", "軟體編譯日期",
          "核心版本", "設備啟用狀態", "AI結構化版本", "AI人臉偵測版本", "AI車輛辨識版本",
          "AI人臉比對版本", "結果"}},
        {"zh_CN.UTF-8", "全选", "选择同类型设备", "批量升级", "用户名", "升级软件", "显示AI版本信息",
         {"", "序号", "摄像机名称", "IP地址", "MAC地址", "产品型号", "软件版本", "软件编译日期",
          "内核版本", "设备激活状态", "AI结构化版本", "AI人脸检测版本", "AI车辆识别版本",
          "AI人脸比对版本", "结果"}},
    };
    const int widths[15] = {25, 45, 95, 110, 125, 95, 115, 90, 85, 85, 0, 0, 0, 0, 230};
    for (const LanguageRow& r : rows) {
        SCOPED_TRACE(r.locale);
        OpenWindow(r.locale);
        EXPECT_EQ(Window().windowTitle(), "Fwbatch" + fwbatch::CFwbatchDlg::VersionText());
        EXPECT_TRUE(Window().windowTitle().contains(QRegularExpression("^Fwbatchv\\d+\\.\\d+\\.\\d+\\.\\d+$")));
        EXPECT_EQ(ControlText(1002), QString::fromUtf8(r.selectAll));
        EXPECT_EQ(ControlText(1004), QString::fromUtf8(r.chooseSameType));
        EXPECT_EQ(ControlText(1012), QString::fromUtf8(r.group));
        EXPECT_EQ(ControlText(1014), QString::fromUtf8(r.userLabel));
        EXPECT_EQ(ControlText(1005), QString::fromUtf8(r.firstType));
        EXPECT_EQ(ControlText(1022), QString::fromUtf8(r.toggle));
        EXPECT_EQ(ControlText(1019), QString::fromUtf8("获取AI版本"));  // the template's caption
        EXPECT_EQ(ControlText(1013), "admin");
        EXPECT_EQ(ControlText(1016), "739164");
        EXPECT_EQ(qobject_cast<QLineEdit*>(Window().ControlById(1013))->maxLength(), 30);
        EXPECT_EQ(qobject_cast<QComboBox*>(Window().ControlById(1005))->count(), 4);
        ASSERT_EQ(List().columnCount(), 15);
        for (int c = 0; c < 15; ++c) {
            EXPECT_EQ(List().horizontalHeaderItem(c)->text(), QString::fromUtf8(r.headings[static_cast<size_t>(c)])) << c;
            EXPECT_EQ(List().columnWidth(c), widths[c]) << c;
        }
        EXPECT_FALSE(Enabled(1004));
        EXPECT_TRUE(Window().ControlById(1009)->isHidden());
        EXPECT_TRUE(Window().ControlById(1011)->isHidden());
        EXPECT_TRUE(static_cast<ui::BusyAnimation*>(Window().ControlById(1009))->Playing());
        EXPECT_FALSE(Window().AiColumnsShown());
        CloseWindow();
    }
}

TEST_F(FwbatchWindowTest, TheAboutBoxIsReachedFromTheWindowsMenu) {
    OpenWindow("en_GB.UTF-8");
    ASSERT_NE(Window().AboutAction(), nullptr);
    EXPECT_EQ(Window().AboutAction()->text(), "About Fwbatch");
    int shown = 0;
    Window().SetAboutShower([&](QWidget* parent) {
        EXPECT_EQ(parent, &Window());
        ++shown;
    });
    Window().AboutAction()->trigger();
    Window().OnSysCommand(0x0011);  // the low four bits are the system's
    Window().OnSysCommand(0xF060);  // another command
    EXPECT_EQ(shown, 2);

    fwbatch::CAboutDlg about(CFwbatchApp::Strings(2057), "v1.2.3.4", "Mar 26 2020");
    EXPECT_EQ(about.NameLine(), "Name:Fwbatch");
    EXPECT_EQ(about.VersionLine(), "Version:v1.2.3.4");
    EXPECT_EQ(about.DateLine(), "Date:Mar 26 2020");
}

}  // namespace
