#pragma once
// Test support for Cfgpush's window, over the helpers both programs' tests
// share (GuiSupport.h): a fixture that puts each test in a private network
// namespace (the window starts the multicast search) and opens the window
// in a chosen locale, and helpers to post search reports and read controls.

#include <gtest/gtest.h>

#include <QApplication>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GuiSupport.h"
#include "cfgpush/app/CfgpushDlg.h"
#include "cfgpush/engine/PushWorker.h"
#include "tests/integration/platform/PrivateNetns.h"

namespace guitest {

// The directory this program's screenshots are written to.
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
