#pragma once
// Window templates as both programs' main windows describe them: each
// control's id, kind, place in dialog units and visibility, in template
// (tab) order; and the standard controls made from such an entry.

#include <QRect>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <functional>

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

// The template ids of the controls both main windows have.
struct CommonControlIds {
    int selectAll, clearAll, browse, packagePath, busyText, userName, password;
};

// Makes the control for a template entry of a standard kind (buttons,
// edits, labels, drop-down lists, group boxes, separator lines) as a child
// of parent; `place` is adjusted where the kind needs it (a closed drop-down
// list is as high as its font needs). Null for the kinds each window makes
// itself (list view, picture, white frame).
QWidget* CreateStandardControl(QWidget* parent, ControlKind kind, QRect& place);

// Makes the control of a list view, picture or white frame entry (the
// window's own kinds) as a child of the window.
using SpecialControlMaker = std::function<QWidget*(const ControlTemplate& entry)>;

// Builds a template's controls in template order, which is also the tab
// order, at their places converted from dialog units with the window's
// font; each carries its id, and entries not visible are hidden. Nothing
// is laid out: the controls keep their places when the window is resized.
void CreateTemplateControls(QWidget* window, const ControlTemplate* entries, size_t count,
                            const SpecialControlMaker& special);

// Enter and Escape as in a dialog without a default button: a focused
// enabled button is pressed, anything else closes the dialog (Enter
// accepts, Escape rejects). True when the key was one of them.
bool HandleDialogKey(QDialog& dialog, QKeyEvent* event);

}  // namespace ui
