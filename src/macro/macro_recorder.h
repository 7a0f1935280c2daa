// The rules by which recorded input becomes macro rows: the delay modes, the constant-delay
// clamp, the four placements (append, insert before, insert after, replace) with their delay
// rules, the per-handler auto-repeat memory, and the rows the editor inserts from its menu and
// move buttons. Pure code over a row list and a selection; time comes from an injected clock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "macro/macro_event.h"

namespace velqa::macro {

enum class DelayMode { Recorded = 1, Constant = 2, Zero = 3 };

// Hook modes 4, 8, 16 and 32.
enum class Placement { Append, Before, After, Replace };
// The placement of a recording hook mode; nothing for any other mode (1 is key capture).
std::optional<Placement> placement_for_hook_mode(int hook_mode);
int hook_mode_of(Placement placement);

inline constexpr std::uint16_t MinConstantDelay = 10;
inline constexpr std::uint16_t DefaultConstantDelay = 50;

struct ConstantDelay {
    std::uint16_t value = DefaultConstantDelay;
    bool raised = false;  // the typed value was below 10: the editor owes "message_text_31"
};
// A typed constant delay: above 65535 becomes 65535, below 10 becomes 10 (raised). Text that
// is not an unsigned decimal number reads as 0, as an empty edit does.
ConstantDelay clamp_constant_delay(std::string_view typed);

// Milliseconds of a monotonic clock; wraps after 49 days, which the subtraction tolerates.
using MillisecondClock = std::function<std::uint32_t()>;
MillisecondClock steady_millisecond_clock();

// What one event did to the rows.
struct RecordChange {
    bool applied = false;  // false: dropped (no table row, a repeat, full list, no selection)
    bool replaced = false;
    int row = -1;        // the row added or replaced
    int delay_row = -1;  // the row that took the computed delay, -1 for none
};

// Mouse events are remembered by their window message, so both X buttons share 0x20B/0x20C.
std::uint16_t mouse_message_of_row(std::size_t mouse_row);

class MacroRecorder {
  public:
    // An empty clock is the steady clock.
    explicit MacroRecorder(MillisecondClock clock = {});

    void set_clock(MillisecondClock clock);

    // A recording starts: the delay mode is stored and the delay clock restarts. The constant
    // delay is the caller's to read beforehand (set_constant_delay) in mode 2.
    void start(DelayMode mode);
    DelayMode delay_mode() const { return mode_; }
    std::uint16_t constant_delay() const { return constant_; }
    void set_constant_delay(std::uint16_t value) { constant_ = value; }
    bool previous_event() const { return previous_event_; }

    // A key event of the handler for `placement`: `key_row` is the key_table() row (nothing for
    // a key it lacks). Rows and selection change as the placement says.
    RecordChange key_event(Placement placement, std::optional<std::size_t> key_row, bool down,
                           std::vector<MacroEvent>& rows, int& selected);
    // A mouse-button event: `mouse_row` is the mouse_event_table() row (0-9; others are
    // dropped). `on_stop_button`: a left press or release over the Stop button, which is
    // remembered as any event is but never recorded.
    RecordChange mouse_event(Placement placement, std::optional<std::size_t> mouse_row,
                             bool on_stop_button, std::vector<MacroEvent>& rows, int& selected);

    // The same for events as input capture reports them: an X keycode, an X button number
    // going down or up. Keys and buttons the tables lack are dropped as above.
    RecordChange captured_key(Placement placement, unsigned x_keycode, bool down,
                              std::vector<MacroEvent>& rows, int& selected);
    RecordChange captured_button(Placement placement, unsigned x_button, bool down,
                                 bool on_stop_button, std::vector<MacroEvent>& rows, int& selected);

    // Clears the eight handlers' memories (a new recording must not inherit a held key).
    void forget_presses();

  private:
    RecordChange place(Placement placement, MacroEvent event, std::vector<MacroEvent>& rows,
                       int& selected);
    std::uint16_t next_delay();

    MillisecondClock clock_;
    DelayMode mode_ = DelayMode::Recorded;
    std::uint16_t constant_ = DefaultConstantDelay;
    std::uint32_t last_time_ = 0;
    bool previous_event_ = false;
    std::optional<std::size_t> last_key_[4];
    std::uint16_t last_mouse_[4] = {0, 0, 0, 0};
};

// ---- Rows the editor inserts without capture ----

// Mouse buttons of the menu: left 0x01, right 0x02, middle 0x04, back 0x08, forward 0x10.
struct MenuMouseItem {
    std::uint8_t button = 0;
    bool press = false;
    bool release = false;
};
// "left_down", "left_up", "left_click", and the same for right, middle, forward and back;
// nothing for other names.
std::optional<MenuMouseItem> menu_mouse_item(std::string_view name);

enum class MoveDirection { Left, Right, Up, Down };
// A move row: type 4 ("down" left, "up" right) or 5 ("down" up, "up" down), steps as "Button".
MacroEvent move_event(MoveDirection direction, std::uint8_t steps);
// The step count typed into a move edit: a decimal integer with its low 8 bits kept; anything
// else reads as 0.
std::uint8_t move_steps(std::string_view typed);

// Inserts `events` after the selected row, or at the top when none is selected, each with
// "Delay" = `delay`; the last one becomes the selected row. Refused (false, nothing changed)
// when the rows would exceed 250. Returns the index of the first inserted row via `first`.
bool insert_rows(std::vector<MacroEvent>& rows, int& selected,
                 const std::vector<MacroEvent>& events, std::uint16_t delay, int* first = nullptr);

}  // namespace velqa::macro
