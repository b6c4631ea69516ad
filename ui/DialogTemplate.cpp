#include "ui/DialogTemplate.h"

#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"

#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

namespace ui {

QWidget* CreateStandardControl(QWidget* parent, ControlKind kind, QRect& place) {
    switch (kind) {
        case ControlKind::kPushButton: {
            auto* button = new QPushButton(parent);
            // No button is the dialog's default: Enter closes the window
            // unless a button has the focus (HandleDialogKey).
            button->setAutoDefault(false);
            return button;
        }
        case ControlKind::kEdit:
        case ControlKind::kPasswordEdit:
        case ControlKind::kReadOnlyEdit: {
            auto* edit = new QLineEdit(parent);
            if (kind == ControlKind::kPasswordEdit) {
                edit->setEchoMode(QLineEdit::Password);
            }
            edit->setReadOnly(kind == ControlKind::kReadOnlyEdit);
            return edit;
        }
        case ControlKind::kStaticText: {
            auto* label = new QLabel(parent);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::kDropList: {
            auto* box = new QComboBox(parent);
            box->setEditable(false);
            box->setMaxVisibleItems(10);
            // The template's height is that of the dropped list.
            place.setHeight(box->sizeHint().height());
            return box;
        }
        case ControlKind::kGroupBox: {
            auto* group = new QGroupBox(parent);
            // A group box frames, it does not take clicks.
            group->setAttribute(Qt::WA_TransparentForMouseEvents);
            return group;
        }
        case ControlKind::kBlackFrame: {
            auto* line = new QFrame(parent);
            line->setFrameShape(QFrame::Box);
            line->setFrameShadow(QFrame::Plain);
            line->setLineWidth(1);
            QPalette black = line->palette();
            black.setColor(QPalette::WindowText, Qt::black);
            line->setPalette(black);
            line->setAttribute(Qt::WA_TransparentForMouseEvents);
            return line;
        }
        case ControlKind::kListView:
        case ControlKind::kPicture:
        case ControlKind::kWhiteFrame:
            break;
    }
    return nullptr;
}

void CreateTemplateControls(QWidget* window, const ControlTemplate* entries, size_t count,
                            const SpecialControlMaker& special) {
    const DialogUnits units(window->font());
    for (size_t i = 0; i < count; ++i) {
        const ControlTemplate& t = entries[i];
        QRect place = units.Rect(t.x, t.y, t.width, t.height);
        QWidget* control = CreateStandardControl(window, t.kind, place);
        if (control == nullptr) {
            control = special(t);
        }
        SetControlId(control, t.id, QString::fromLatin1(t.name != nullptr ? t.name : ""));
        control->setGeometry(place);
        if (!t.visible) {
            control->hide();
        }
    }
}

bool HandleDialogKey(QDialog& dialog, QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = event->modifiers() == Qt::NoModifier ||
                       (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    if (!enter || !plain) {
        return false;  // Escape: QDialog rejects on its own
    }
    if (auto* button = qobject_cast<QPushButton*>(dialog.focusWidget())) {
        if (button->isEnabled()) {
            button->click();
        }
        return true;
    }
    dialog.accept();
    return true;
}

}  // namespace ui
