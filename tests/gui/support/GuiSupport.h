#pragma once
// What the window tests of both programs share: one Qt application for the
// test program (the offscreen platform, from the test's environment), the
// search answers devices send, and waiting on the event loop.

#include <QString>
#include <QWidget>

#include <functional>
#include <string>

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
    // Fwbatch's fields; empty (or -1): not in the answer.
    std::string buildDate;
    std::string kernelVer;
    int deviceActivated = -1;
};
std::string AnswerXml(const DeviceAnswer& answer);

// Runs the event loop until done() holds; false after limitMs.
bool WaitUntil(const std::function<bool()>& done, int limitMs = 20000);
// Handles what is pending now (and what that posts), for up to ms.
void Pump(int ms = 0);

// The text a control shows (button, label, edit, combo box, group box);
// a test failure for a control without one.
QString ControlText(const QWidget* control);
// Clicks a button (a test failure for anything else).
void ClickButton(QWidget* control);

// The directory screenshots are written to (made on first use).
QString ScreenshotDir(const char* dir);

}  // namespace guitest
