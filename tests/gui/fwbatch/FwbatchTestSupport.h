#pragma once
// Test support for Fwbatch's window, over the helpers both programs' tests
// share (GuiSupport.h): a fixture that puts each test in a private network
// namespace (the window starts the multicast search), opens the window in
// a chosen locale with quick limits for its workers, runs simulated devices
// on loopback, and reads the window's controls and list.

#include <gtest/gtest.h>

#include <QString>
#include <QUrl>

#include <memory>
#include <string>
#include <vector>

#include "GuiSupport.h"
#include "fwbatch/app/DeviceListCtrl.h"
#include "fwbatch/app/FwbatchDlg.h"
#include "sim/Simulator.h"
#include "tests/integration/platform/PrivateNetns.h"

namespace fwtest {

using guitest::DeviceAnswer;

// The directory this program's screenshots are written to.
QString ScreenshotDir();
// A package of tests/data/fwbatch/.
QString Package(const char* name);

class FwbatchWindowTest : public nstest::PrivateNetnsTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Quick limits for the workers; devices on loopback need no adapter.
    static fwbatch::FwbatchDlgOptions QuickOptions();
    // Sets the locale variables (LC_ALL wins) and opens the window with the
    // texts the language rule picks for them.
    fwbatch::CFwbatchDlg& OpenWindow(const char* locale = "en_GB.UTF-8",
                                     fwbatch::FwbatchDlgOptions options = QuickOptions());
    void CloseWindow();
    fwbatch::CFwbatchDlg& Window() { return *m_window; }
    fwbatch::DeviceListCtrl& List() { return m_window->DeviceList(); }

    // Simulated devices, each on its own loopback address and a free port;
    // software 5.0.0.0, which every test package suits.
    static sim::DeviceConfig Device(size_t index);
    void StartFleet(std::vector<sim::DeviceConfig> devices);
    // The simulated device's own search answer, through the search callback.
    void PostSimDevice(size_t index);
    QString SimMac(size_t index) const;

    // Posts a search report the way the search callback does.
    void PostReport(const std::string& mac, int kind, const std::string& xml);
    void PostAnswer(const std::string& mac, const DeviceAnswer& answer = {}) {
        PostReport(mac, 1, guitest::AnswerXml(answer));
    }
    void PostGone(const std::string& mac) { PostReport(mac, 2, guitest::AnswerXml({})); }

    QString ControlText(int id);
    bool Enabled(int id) { return m_window->ControlById(id)->isEnabled(); }
    void Click(int id);
    // A column's texts from the top.
    std::vector<QString> Column(int column);
    int RowOf(const QString& upperMac);
    QString Cell(const QString& upperMac, int column);
    // Starts a batch of the checked rows with a package and waits until it
    // has started (adapters prepared).
    void StartUpgrade(const char* package = "sw_250.pkg");
    bool WaitIdle(int limitMs = 60000);

    std::vector<QString> m_messages;  // message boxes shown (their texts)
    std::vector<QUrl> m_opened;       // pages the window asked to open
    std::unique_ptr<sim::Simulator> m_sim;
    std::unique_ptr<fwbatch::CFwbatchDlg> m_window;
};

}  // namespace fwtest
