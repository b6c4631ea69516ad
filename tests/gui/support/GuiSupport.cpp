#include "GuiSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>

#include <memory>

namespace guitest {
namespace {

// One Qt application for the whole test program, made before the first
// test and kept to the end (Qt allows one per process). It lives in this
// file so that every program using the helpers below gets it.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "gui_tests";
        static char* argv[] = {name, nullptr};
        // ctest sets the offscreen platform; a direct run gets it too.
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        if (QApplication::instance() == nullptr) {
            m_app = std::make_unique<QApplication>(argc, argv);
        }
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

std::string AnswerXml(const DeviceAnswer& a) {
    std::string xml = "<?xml version=\"1.0\"?><multicastSearchResult><productInfo>";
    if (!a.series.empty()) {
        xml += "<productSeries>" + a.series + "</productSeries>";
    }
    xml += "<devName>" + a.devName + "</devName><productModel>" + a.productModel +
           "</productModel><softwareVer>" + a.softwareVer + "</softwareVer>";
    if (!a.build.empty()) {
        xml += "<build>" + a.build + "</build>";
    }
    if (!a.buildDate.empty()) {
        xml += "<softwareBulildDate>" + a.buildDate + "</softwareBulildDate>";
    }
    if (!a.kernelVer.empty()) {
        xml += "<kernelVer>" + a.kernelVer + "</kernelVer>";
    }
    if (a.deviceActivated >= 0) {
        xml += "<deviceActivated>" + std::to_string(a.deviceActivated) + "</deviceActivated>";
    }
    xml += "</productInfo><tcpIp><ipAddr>";
    for (int i = 0; i < 2; ++i) {
        xml += "<item><ip>" + a.ip[i] + "</ip><mask>" + a.mask[i] + "</mask></item>";
    }
    xml += "</ipAddr></tcpIp><port><dataPort>" + std::to_string(a.dataPort) +
           "</dataPort><httpPort>" + std::to_string(a.httpPort) +
           "</httpPort></port></multicastSearchResult>";
    return xml;
}

bool WaitUntil(const std::function<bool()>& done, int limitMs) {
    QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

void Pump(int ms) {
    QDeadlineTimer deadline(ms);
    do {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    } while (!deadline.hasExpired());
}

QString ScreenshotDir(const char* dir) {
    const QString path = QString::fromUtf8(dir);
    QDir().mkpath(path);
    return path;
}

}  // namespace guitest
