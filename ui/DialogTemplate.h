#pragma once
// Window templates as both programs' main windows describe them: each
// control's id, kind, place in dialog units and visibility, in template
// (tab) order; and the standard controls made from such an entry.

#include <QRect>
#include <QWidget>

#include <cstdint>

class QDialog;
class QKeyEvent;

namespace ui {

enum class ControlKind : uint8_t {
    kListView,
    kPushButton,
    kEdit,
    kPasswordEdit,
    kReadOnlyEdit,
    kPicture,  // the busy animation
    kStaticText,
    kDropList,  // combo box, drop-down list
    kGroupBox,
    kWhiteFrame,  // a frame the window draws into (Cfgpush's logo)
    kBlackFrame,  // a separator line
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    int x, y, width, height;  // dialog units
    bool visible;
    const char* name;  // object name of a control without id
};

// Makes the control for a template entry of a standard kind (buttons,
// edits, labels, drop-down lists, group boxes, separator lines) as a child
// of parent; `place` is adjusted where the kind needs it (a closed drop-down
// list is as high as its font needs). Null for the kinds each window makes
// itself (list view, picture, white frame).
QWidget* CreateStandardControl(QWidget* parent, ControlKind kind, QRect& place);

// Enter and Escape as in a dialog without a default button: a focused
// enabled button is pressed, anything else closes the dialog (Enter
// accepts, Escape rejects). True when the key was one of them.
bool HandleDialogKey(QDialog& dialog, QKeyEvent* event);

}  // namespace ui
