// What assistive technology (a screen reader over AT-SPI, switch access, keyboard-only use) needs
// from the controls a layout builds: a name in the current language, and a way to reach each
// control with the keyboard. Done once for every window, so pages need not name their controls.
#pragma once

#include <QString>
#include <QWidget>

namespace velqa::platform::ui {

// Layout property: the text id of a control's accessible name, for a control that shows only an
// image or a number. A "%1" in the text is the control's number (the trailing digits of its
// name) plus one, so "DPI_slider_1" with "DPI stage %1" is read "DPI stage 2".
inline constexpr char kAccessibleNameIdProperty[] = "accessibleNameId";
// Layout property: the text id of a control's accessible description (what it does, or why it
// is off), where the tool tip does not say it.
inline constexpr char kAccessibleDescriptionIdProperty[] = "accessibleDescriptionId";

// A control the user can click or change: a button, a slider (not a scroll bar), a combo, an
// editable line, a list, a colour palette, or one a page marks with the "userControl" property.
bool is_user_control(const QWidget* w);

// The accessible name `w` has or would be given: its own name, the text it shows, the label
// that names it, or its tool tip; empty when none of them says anything.
QString accessible_name(const QWidget* w);

// Names and describes every user control in `subtree` (itself included) in the current
// language, and lets the keyboard reach any that the skin made unfocusable (Tab still reaches
// them; a click keeps focus where it was). Called again after a language change.
void describe_controls(QWidget* subtree);

// Names `w` by the text id `id` (as the layout property does), now and after every language
// change: for a control whose name the code chooses at run time.
void set_accessible_name_id(QWidget* w, const QString& id);

// Moves focus with the arrow keys among the visible, enabled buttons of an option group
// (buttons sharing a "group"); the one reached is clicked, as a radio button is. True when the
// key was used.
bool move_in_group(QWidget* button, int key);

// Makes `w` (a message window) an alert to assistive technology: a screen reader speaks its
// name and description when it shows. Call before `w` is first shown.
void set_alert(QWidget* w);
// Where Tab into `button` should land instead: the chosen option of its group, when `button`
// is another option of that group; nullptr when it may keep the focus.
QWidget* group_entry(QWidget* button);

// Tells assistive technology that the alert `w` has something to say now.
void announce(QWidget* w);

}  // namespace velqa::platform::ui
