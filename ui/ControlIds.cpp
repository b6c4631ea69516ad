#include "ui/ControlIds.h"

#include <QVariant>

namespace ui {
namespace {

constexpr const char* kIdProperty = "controlId";

QString NameOf(int id) {
    return QStringLiteral("ctl%1").arg(id);
}

}  // namespace

void SetControlId(QWidget* control, int id, const QString& nameWithoutId) {
    control->setProperty(kIdProperty, id);
    control->setObjectName(id == kNoControlId ? nameWithoutId : NameOf(id));
}

int ControlIdOf(const QWidget* control) {
    const QVariant id = control->property(kIdProperty);
    return id.isValid() ? id.toInt() : kNoControlId;
}

QWidget* FindControl(const QWidget* window, int id) {
    if (id == kNoControlId) {
        return nullptr;
    }
    return window->findChild<QWidget*>(NameOf(id));
}

}  // namespace ui
