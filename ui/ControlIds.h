#pragma once
// Controls of a window template keep their numeric id: each widget carries
// it as the property "controlId" and as its object name "ctl<id>", so
// tests and handlers find a control by id as the Windows programs do.
// Controls without an id (group boxes, frames) carry kNoControlId and a
// name of their own.

#include <QString>
#include <QWidget>

namespace ui {

constexpr int kNoControlId = -1;

void SetControlId(QWidget* control, int id, const QString& nameWithoutId = QString());
int ControlIdOf(const QWidget* control);
// The child of `window` with that id, or null.
QWidget* FindControl(const QWidget* window, int id);

}  // namespace ui
