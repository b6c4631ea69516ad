#include "GuiSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

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
        // What the windows keep for the next start goes to a directory of
        // the test program's own, never to the user's settings.
        m_settings = std::make_unique<QTemporaryDir>();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings->path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings->path());
    }
    void TearDown() override {
        m_app.reset();
        m_settings.reset();
    }

private:
    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<QTemporaryDir> m_settings;
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
    // processEvents with a time limit never sleeps: wait for the next event
    // instead, with a timer that makes one at least every 20 ms.
    QTimer wake;
    wake.start(20);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
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

QString ControlText(const QWidget* control) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        return label->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
        return edit->text();
    }
    if (const auto* box = qobject_cast<const QComboBox*>(control)) {
        return box->currentText();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(control)) {
        return group->title();
    }
    ADD_FAILURE() << "control " << (control ? control->objectName().toStdString() : "null")
                  << " has no text";
    return QString();
}

void ClickButton(QWidget* control) {
    auto* button = qobject_cast<QAbstractButton*>(control);
    if (button == nullptr) {
        ADD_FAILURE() << "not a button: " << (control ? control->objectName().toStdString() : "null");
        return;
    }
    button->click();
}

QString ScreenshotDir(const char* dir) {
    const QString path = QString::fromUtf8(dir);
    QDir().mkpath(path);
    return path;
}

}  // namespace guitest
