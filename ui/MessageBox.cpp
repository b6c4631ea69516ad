#include "ui/MessageBox.h"

#include <QMessageBox>

namespace ui {
namespace {

MessageBoxObserver& Observer() {
    static MessageBoxObserver observer;
    return observer;
}

}  // namespace

MessageBoxObserver SetMessageBoxObserver(MessageBoxObserver observer) {
    MessageBoxObserver previous = std::move(Observer());
    Observer() = std::move(observer);
    return previous;
}

void ShowMessageBox(QWidget* parent, const QString& caption, const QString& text) {
    if (Observer() && Observer()(caption, text)) {
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.exec();
}

}  // namespace ui
