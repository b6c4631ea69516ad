// Over-long input through Fwbatch's window: the user name and password
// edits hold at most 30 characters; credentials whose sent form still
// cannot fit (30 characters of three UTF-8 bytes each for the upgrade, more
// than 45 bytes of user ":" password for the AI query) end in the row's
// result without a connection; search answers with over-long texts fill
// bounded cells.

#include <QLineEdit>
#include <QTest>

#include <string>
#include <vector>

#include "FwbatchTestSupport.h"

namespace {

using fwbatch::DeviceListCtrl;
using fwtest::FwbatchWindowTest;

QString Repeat(const QString& piece, int count) {
    QString out;
    for (int i = 0; i < count; ++i) out += piece;
    return out;
}

TEST_F(FwbatchWindowTest, OverLongCredentialsEndWithoutAConnection) {
    StartFleet({Device(0)});
    OpenWindow();
    PostSimDevice(0);
    guitest::Pump();
    auto* user = static_cast<QLineEdit*>(Window().ControlById(1013));
    auto* password = static_cast<QLineEdit*>(Window().ControlById(1016));
    // Typing stops at 30 characters.
    for (QLineEdit* edit : {user, password}) {
        edit->clear();
        QTest::keyClicks(edit, QString(40, 'x'));
        EXPECT_EQ(edit->text(), QString(30, 'x'));
    }

    struct Row {
        const char* what;
        QString user;
        QString password;
        bool upgrade;  // else the AI query
        const char* result;
        bool connects;
    };
    const QString chinese = QString::fromUtf8("\xE4\xB8\xAD");
    const std::vector<Row> rows = {
        {"upgrade, 30 characters in 90 bytes", Repeat(chinese, 30), "739164", true, "Incorrect Username/Password!",
         false},
        {"upgrade, password of 30 characters in 90 bytes", "admin", Repeat(chinese, 30), true,
         "Incorrect Username/Password!", false},
        {"AI query, 61 bytes of credentials", QString(30, 'u'), QString(30, 'p'), false,
         "Fail to get Ai version infomation\xef\xbc\x81", false},
        // 45 bytes still go out: the device then refuses the unknown user.
        {"AI query, 45 bytes of credentials", QString(22, 'u'), QString(22, 'p'), false,
         "Fail to get Ai version infomation\xef\xbc\x81", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const uint64_t before = m_sim->Records(0).connections;
        user->setText(row.user);
        password->setText(row.password);
        ASSERT_EQ(user->text(), row.user);
        Click(1002);
        if (row.upgrade) {
            StartUpgrade();
            ASSERT_TRUE(WaitIdle());
        } else {
            Click(1019);
            ASSERT_TRUE(guitest::WaitUntil([&] { return !Window().AiQueryRunning(); }, 60000));
        }
        EXPECT_EQ(Cell(SimMac(0), DeviceListCtrl::kColResult), QString::fromUtf8(row.result));
        EXPECT_EQ(m_sim->Records(0).connections > before, row.connects);
    }
    EXPECT_TRUE(m_sim->Records(0).pieces.empty());
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(FwbatchWindowTest, OverLongSearchAnswerTextsFillBoundedCells) {
    OpenWindow();
    fwtest::DeviceAnswer answer;
    answer.devName = std::string(10000, 'n');
    answer.productModel = std::string(10000, 'm');
    answer.softwareVer = std::string(10000, '9');
    answer.buildDate = std::string(10000, 'd');
    answer.kernelVer = std::string(10000, 'k');
    answer.ip[0] = std::string(10000, '1');
    const std::string mac(200, 'a');
    PostAnswer(mac, answer);
    guitest::Pump();
    ASSERT_EQ(List().Rows(), 1);
    // Each text cut to its record field, less the terminating zero.
    const struct {
        int column;
        int longest;
    } cells[] = {{DeviceListCtrl::kColName, 63},      {DeviceListCtrl::kColModel, 23},
                 {DeviceListCtrl::kColBuildDate, 15}, {DeviceListCtrl::kColKernel, 15},
                 {DeviceListCtrl::kColAddress, 19},   {DeviceListCtrl::kColMac, 19}};
    for (const auto& cell : cells) {
        const QString text = List().Text(0, cell.column);
        EXPECT_FALSE(text.isEmpty()) << cell.column;
        EXPECT_LE(text.size(), cell.longest) << cell.column;
    }
    // The version's 19 bytes, then what the window adds (the build).
    const QString version = List().Text(0, DeviceListCtrl::kColVersion);
    EXPECT_TRUE(version.startsWith(QString(19, '9')) && !version.startsWith(QString(20, '9')))
        << version.toStdString();
}

}  // namespace
