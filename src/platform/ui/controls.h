// Operations on controls found by name. Every function accepts nullptr and then does nothing
// (or returns an empty value), so a layout lacking a control never crashes its caller.
#pragma once

#include <QColor>
#include <QString>
#include <QVariant>
#include <QWidget>
#include <cstdint>

namespace velqa::platform::ui {

// Dynamic properties a layout or the code may set on any control.
inline constexpr char kTextIdProperty[] = "textId";            // resource-text: text is a text id
inline constexpr char kToolTipIdProperty[] = "toolTipId";      // tool tip given as a text id
inline constexpr char kFontIdProperty[] = "fontId";            // entry of the font table
inline constexpr char kGroupProperty[] = "group";              // option group name
inline constexpr char kUserDataProperty[] = "userData";        // user-data text
inline constexpr char kTagProperty[] = "tag";                  // user-data number
inline constexpr char kBkImageProperty[] = "bkImage";          // "file='...'" attribute
inline constexpr char kBkColorProperty[] = "bkColor";          // 0xAARRGGBB
inline constexpr char kBorderColorProperty[] = "borderColor";  // 0xAARRGGBB
inline constexpr char kThumbImageProperty[] = "thumbImage";    // slider thumb, "file='...'"

// Text. set_text shows the text as given and clears the resource-text flag.
void set_text(QWidget* control, const QString& text);
QString text(const QWidget* control);
// Resource-text flag: the text is a text id, resolved now and on every language change.
void set_text_id(QWidget* control, const QString& id);
QString text_id(const QWidget* control);
// Sets the text, as an id when `is_id`, else as plain text.
void set_text(QWidget* control, const QString& text, bool is_id);

void set_tool_tip(QWidget* control, const QString& text);
void set_tool_tip_id(QWidget* control, const QString& id);

void set_user_data(QWidget* control, const QString& text);
QString user_data(const QWidget* control);
void set_tag(QWidget* control, std::uintptr_t tag);
std::uintptr_t tag(const QWidget* control);

// Background colour (0xAARRGGBB; 0 clears it) and image ("file='power/WIFI_down.png'" style
// attribute, resolved under the resource root; empty clears it).
void set_bk_color(QWidget* control, std::uint32_t argb);
std::uint32_t bk_color(const QWidget* control);
void set_bk_image(QWidget* control, const QString& attribute);
QString bk_image(const QWidget* control);
// Border colour (0xAARRGGBB; 0 keeps the skin's) of a control whose skin draws a border.
void set_border_color(QWidget* control, std::uint32_t argb);
std::uint32_t border_color(const QWidget* control);
// Image of a slider's thumb ("file='Control/SliderBar1_Thumb.png'"; empty keeps the skin's).
void set_thumb_image(QWidget* slider, const QString& attribute);
QString thumb_image(const QWidget* slider);

// Option buttons (checkable buttons). Selecting sends "selectchanged" unless trigger is false.
void set_selected(QWidget* option, bool selected, bool trigger = true);
bool is_selected(const QWidget* option);

// Combos: items carry a text, a tool tip, user data and a height (0 keeps the default).
int add_combo_item(QWidget* combo, const QString& text, const QString& tool_tip = {},
                   const QVariant& user_data = {}, int height = 0);
// Selects an item; sends "itemselect" when trigger is true. False for a bad index.
bool select_item(QWidget* combo_or_list, int index, bool trigger = true);
int current_item(const QWidget* combo_or_list);
int item_count(const QWidget* combo_or_list);
QVariant item_data(const QWidget* combo_or_list, int index);
void remove_all_items(QWidget* combo_or_list);

// Sliders and progress bars.
void set_value(QWidget* control, int value);
int value(const QWidget* control);
void set_range(QWidget* control, int minimum, int maximum);
int minimum(const QWidget* control);
int maximum(const QWidget* control);

// Edits.
void set_number_only(QWidget* edit, bool on);
void set_max_length(QWidget* edit, int length);

// Tab layouts (stacked pages): selected page. False for a bad index.
bool select_page(QWidget* tabs, int index);
int current_page(const QWidget* tabs);
int page_count(const QWidget* tabs);

// The name of control `n` of a numbered set: prefix followed by n ("DPI_slider_" 3).
QString numbered(const char* prefix, int n);

// The window that receives a control's notifications (nullptr when it is in none).
class Window;
Window* window_of(const QWidget* control);

}  // namespace velqa::platform::ui
