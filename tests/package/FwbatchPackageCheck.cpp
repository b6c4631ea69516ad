// Fwbatch's window as the installed-package test's users meet it: run by
// that test as an unprivileged user, inside a namespace whose one link
// leads to a simulated camera in a subnet no adapter is in. The window
// finds the camera by its own search, and an upgrade of it first prepares
// the adapter through the installed helper. Its environment says what to
// expect:
//   CAMPREP_CHECK_PACKAGE  the upgrade package
//   CAMPREP_CHECK_MAC      the camera's MAC, as the list shows it
//   CAMPREP_CHECK_SUBNET   the start of the camera's subnet ("10.77.3.")
//   CAMPREP_CHECK_EXPECT   "added": an address of the subnet is added and
//                          the upgrade succeeds; "refused": the window says
//                          which group to join and nothing is added

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "GuiSupport.h"
#include "common/platform/NetworkPlatform.h"
#include "fwbatch/adapter/AdapterHelper.h"
#include "fwbatch/app/DeviceListCtrl.h"
#include "fwbatch/app/FwbatchApp.h"
#include "fwbatch/app/FwbatchDlg.h"
#include "ui/MessageBox.h"

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool HostHasAddressIn(const std::string& subnetStart) {
    for (const std::string& address : platform::HostIPv4AddressesOf(platform::Network())) {
        if (address.rfind(subnetStart, 0) == 0) {
            return true;
        }
    }
    return false;
}

TEST(FwbatchPackage, AdapterPreparationThroughTheHelper) {
    const std::string package = Env("CAMPREP_CHECK_PACKAGE");
    const QString mac = QString::fromStdString(Env("CAMPREP_CHECK_MAC"));
    const std::string subnet = Env("CAMPREP_CHECK_SUBNET");
    const bool expectAdded = Env("CAMPREP_CHECK_EXPECT") == "added";
    ASSERT_FALSE(package.empty() || mac.isEmpty() || subnet.empty());
    ASSERT_FALSE(HostHasAddressIn(subnet));

    std::vector<QString> messages;
    ui::SetMessageBoxObserver([&](const QString&, const QString& text) {
        messages.push_back(text);
        return true;
    });
    setenv("LC_ALL", "en_GB.UTF-8", 1);
    fwbatch::FwbatchDlgOptions options;
    options.texts = &fwbatch::CFwbatchApp::Strings(fwbatch::CFwbatchApp::InterfaceLanguage());
    auto window = std::make_unique<fwbatch::CFwbatchDlg>(std::move(options));
    fwbatch::DeviceListCtrl& list = window->DeviceList();

    // The window's own search finds the camera.
    ASSERT_TRUE(guitest::WaitUntil(
        [&] { return list.FindText(fwbatch::DeviceListCtrl::kColMac, mac) >= 0; }, 60000))
        << "the search did not find " << mac.toStdString();
    list.SetChecked(list.FindText(fwbatch::DeviceListCtrl::kColMac, mac), true);
    window->OnFileChosen(QString::fromStdString(package));
    guitest::ClickButton(window->ControlById(1008));
    ASSERT_TRUE(guitest::WaitUntil([&] { return !window->Busy(); }, 180000));

    const int row = list.FindText(fwbatch::DeviceListCtrl::kColMac, mac);
    const std::string result =
        row < 0 ? "<no row>" : list.Text(row, fwbatch::DeviceListCtrl::kColResult).toStdString();
    std::printf("fwbatch: %s: %s\n", mac.toStdString().c_str(), result.c_str());
    for (const QString& m : messages) {
        std::printf("fwbatch: message: %s\n", m.toStdString().c_str());
    }
    const std::string group = std::string("group \"") + fwbatch::adapter::kAdapterGroup + "\"";
    if (expectAdded) {
        EXPECT_TRUE(HostHasAddressIn(subnet));
        EXPECT_EQ(result, "Upgraded successfully!");
        EXPECT_TRUE(messages.empty());
    } else {
        EXPECT_FALSE(HostHasAddressIn(subnet));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].toStdString().find(group), std::string::npos);
    }
    window->close();
    window.reset();
    ui::SetMessageBoxObserver({});
}

}  // namespace
