#pragma once
// Test support for Cfgpush's window: one Qt application for the test
// program (the offscreen platform, from the test's environment), a fixture
// that puts each test in a private network namespace (the window starts the
// multicast search) and opens the window in a chosen locale, and helpers to
// post search reports, pump the event loop and read controls.

#include <gtest/gtest.h>

#include <QApplication>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cfgpush/app/CfgpushDlg.h"
#include "cfgpush/engine/PushWorker.h"
#include "tests/integration/platform/PrivateNetns.h"

namespace guitest {

// A search answer as a device sends it.
struct DeviceAnswer {
    std::string series = "KMX_IPC";
    std::string devName = "camera";
    std::string productModel = "IPC-T1";
    std::string softwareVer = "4.1.2.3";
    std::string build = "1024";  // empty: no "build" element
    std::string ip[2] = {"192.168.1.64", "10.7.0.64"};
    std::string mask[2] = {"255.255.255.0", "7.0.0.0"};
    int dataPort = 9008;
    int httpPort = 80;
};
std::string AnswerXml(const DeviceAnswer& answer);

// Runs the event loop until done() holds; false after limitMs.
bool WaitUntil(const std::function<bool()>& done, int limitMs = 20000);
// Handles what is pending now (and what that posts), for up to ms.
void Pump(int ms = 0);

// The directory screenshots are written to (made on first use).
QString ScreenshotDir();

class CfgpushWindowTest : public nstest::PrivateNetnsTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sets the locale variables (LC_ALL wins) and opens the window with the
    // texts the language rule picks for them.
    cfgpush::CCfgpushDlg& OpenWindow(const char* locale = "en_GB.UTF-8",
                                     cfgpush::CfgpushDlgOptions options = {});
    // Closes the window (as its close box does) and deletes it.
    void CloseWindow();
    cfgpush::CCfgpushDlg& Window() { return *m_window; }

    // Posts a search report to the window the way the search callback does.
    void PostReport(const std::string& mac, int kind, const std::string& xml);
    void PostAnswer(const std::string& mac, const DeviceAnswer& answer = {}, int kind = 1) {
        PostReport(mac, kind, AnswerXml(answer));
    }
    void PostGone(const std::string& mac, const DeviceAnswer& answer = {}) {
        PostReport(mac, 2, AnswerXml(answer));
    }

    // The text of a control (button, label, edit, combo box) by id.
    QString ControlText(int id);
    void Click(int id);
    // The MAC column of every row, from the top.
    std::vector<QString> MacColumn();
    int RowOf(const QString& upperMac);

    // Message boxes shown so far (their texts); every caption is checked.
    std::vector<QString> m_messages;
    // The workers' group outlives the window, as in the program.
    cfgpush::PushWorkerGroup m_workers;
    std::unique_ptr<cfgpush::CCfgpushDlg> m_window;
};

}  // namespace guitest
