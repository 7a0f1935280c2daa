// The key-assignment editor of a device page: shows the function of the selected button in its
// controls (a function group with the group's own choices), lets the user pick another and gives
// back the three-byte code. The main window routes the notifications of its controls to
// on_notify; every change is stored at once (key_saved), and "Write to mouse" asks the page to
// download (write_requested). The byte rules live in macro/key_assignment.h; this class only maps
// controls to the editor state and back.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "macro/key_assignment.h"
#include "platform/ui/window.h"
#include "profile/profile_records.h"

namespace velqa::macro {

class CKeySetControlUI : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kLayout = "XML\\CustomControlXML\\KeySetControl.xml";
    static constexpr const char* kClassName = "KeySetControl";
    static constexpr int GroupCount = 12;
    static constexpr int ModifierCount = 5;  // "key_ComBox_check_" 0 (none) to 4 (Windows)
    static constexpr int GunKeyCount = 4;
    static constexpr int RepeatModeCount = 5;  // modes 0-3 and the repeat count (item 4)

    explicit CKeySetControlUI(QWidget* parent = nullptr);

    // Stores the key's working and default codes and shows the working one.
    void show_key(const profile::KeyAssignment& entry);
    // Puts a code into the controls. Showing the working code of a key with no key-table row
    // clears that code's parameters, as the controls then show no key.
    void show(const profile::KeyCode& code);
    // The code the controls give; it becomes the working code.
    profile::KeyCode read();
    // The key last shown, with the working code in .current.
    const profile::KeyAssignment& entry() const { return entry_; }

    // "keyset_macro_combo": the macro names in list order, none selected.
    void fill_macros(const std::vector<std::string>& names);
    void add_macro(const QString& name);
    void rename_macro(int index, const QString& name);  // a bad index changes nothing
    void remove_macro(int index);                       // a bad index changes nothing
    int macro_count() const;

    // Selects the modifier option `index` (0-4) alone; any other index clears all five.
    void select_modifier(int index);
    // The first selected modifier option, -1 when none.
    int selected_modifier() const;

    // A key captured while the key edit has the focus (row of the key table): a modifier selects
    // its option and empties the edit, another key names itself; then the code is saved. Rows
    // outside the table do nothing. Give it key presses only: a release of Shift after A would
    // select Shift alone again. The key edit captures the keys it receives itself.
    void capture_key(std::size_t key_row);

    // A notification of one of the editor's controls (routed by the main window); others are
    // ignored.
    void on_notify(platform::ui::Notification& msg);

    // On a keyboard page "key_butt_keydefalut" also saves and writes at once.
    void set_page_kind(bool keyboard_page) { keyboard_page_ = keyboard_page; }
    bool keyboard_page() const { return keyboard_page_; }

    // Resolves the list items' text ids again (after a language change).
    void refresh_texts();

    // The editor's control of a name (found on first use and remembered), or nullptr.
    QWidget* control(const QString& name) const;

  signals:
    // "key_butt_keysave": the page stores the code into the selected key and refreshes labels.
    void key_saved(const profile::KeyCode& code);
    // "key_butt_prosave": the page writes the macros and key assignments to the device.
    void write_requested();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* control(const char* name) const { return control(QString::fromLatin1(name)); }
    void fill_lists();
    void apply_state(const KeyEditorState& state);
    KeyEditorState state_from_controls();
    // The group of the selected function item, -1 when none is selected.
    int selected_group() const;
    void switch_page(int group);
    void set_key_row(int row);
    void show_cycle_layout(bool shown);
    // The number in an edit within [min, max], written back as shown; text that is no number
    // shows `fallback` again and gives it.
    int edit_number(const char* name, int min, int max, int fallback);
    void save();
    void restore_default();

    profile::KeyAssignment entry_;
    KeyEditorState shown_;  // the state last shown or read: the fallback of a refused edit
    int key_row_ = -1;      // the key named in "keyset_keyboard_text_edit"
    bool keyboard_page_ = false;
    platform::ui::ControlCache controls_;
};

// Registers CKeySetControlUI with the control factory (replacing its placeholder).
void register_keyset_controls();

}  // namespace velqa::macro
