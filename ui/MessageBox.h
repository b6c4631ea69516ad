#pragma once
// The windows' message boxes: modal, one text, an OK button only, no icon,
// the program's name as caption. Tests install an observer that sees every
// box and may answer it in place of the operator.

#include <QString>
#include <QWidget>

#include <functional>

namespace ui {

// Called with the caption and the text before a box is shown. Returning
// true means the box counts as shown and closed: it is not displayed.
using MessageBoxObserver = std::function<bool(const QString& caption, const QString& text)>;

// Installs (or, with an empty function, removes) the observer; returns the
// previous one. For tests; the window thread only.
MessageBoxObserver SetMessageBoxObserver(MessageBoxObserver observer);

// Shows the box and returns when it is closed.
void ShowMessageBox(QWidget* parent, const QString& caption, const QString& text);

}  // namespace ui
