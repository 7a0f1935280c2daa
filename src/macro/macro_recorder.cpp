#include "macro/macro_recorder.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "macro/key_tables.h"
#include "macro/macro_files.h"
#include "platform/number_text.h"

namespace velqa::macro {

namespace {

// The leading decimal digits of `typed` as a number (as an edit's text is converted); nothing
// when it starts with none. Runs too long for the parser read as the largest value.
std::optional<std::uint64_t> leading_decimal(std::string_view typed) {
    std::size_t n = 0;
    while (n < typed.size() && typed[n] >= '0' && typed[n] <= '9')
        ++n;
    if (n == 0)
        return std::nullopt;
    const std::string_view digits = typed.substr(0, n);
    if (n > 18)
        return std::numeric_limits<std::uint64_t>::max();
    const auto v = platform::parse_number(digits, 0, std::numeric_limits<std::int64_t>::max());
    if (!v)
        return std::nullopt;
    return static_cast<std::uint64_t>(*v);
}

std::size_t handler(Placement p) {
    return static_cast<std::size_t>(p);
}

}  // namespace

std::optional<Placement> placement_for_hook_mode(int hook_mode) {
    switch (hook_mode) {
        case 4:
            return Placement::Append;
        case 8:
            return Placement::Before;
        case 16:
            return Placement::After;
        case 32:
            return Placement::Replace;
        default:
            return std::nullopt;
    }
}

int hook_mode_of(Placement placement) {
    switch (placement) {
        case Placement::Append:
            return 4;
        case Placement::Before:
            return 8;
        case Placement::After:
            return 16;
        case Placement::Replace:
            return 32;
    }
    return 4;
}

ConstantDelay clamp_constant_delay(std::string_view typed) {
    const std::uint64_t v = leading_decimal(typed).value_or(0);
    if (v > MaxDelay)
        return {static_cast<std::uint16_t>(MaxDelay), false};
    if (v < MinConstantDelay)
        return {MinConstantDelay, true};
    return {static_cast<std::uint16_t>(v), false};
}

MillisecondClock steady_millisecond_clock() {
    return [] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    };
}

std::uint16_t mouse_message_of_row(std::size_t mouse_row) {
    const auto table = mouse_event_table();
    return mouse_row < table.size() ? table[mouse_row].message : 0;
}

MacroRecorder::MacroRecorder(MillisecondClock clock) {
    set_clock(std::move(clock));
}

void MacroRecorder::set_clock(MillisecondClock clock) {
    clock_ = clock ? std::move(clock) : steady_millisecond_clock();
}

void MacroRecorder::start(DelayMode mode) {
    mode_ = mode;
    last_time_ = clock_();
}

void MacroRecorder::forget_presses() {
    for (auto& k : last_key_)
        k.reset();
    std::fill(std::begin(last_mouse_), std::end(last_mouse_), std::uint16_t{0});
}

std::uint16_t MacroRecorder::next_delay() {
    switch (mode_) {
        case DelayMode::Recorded: {
            const std::uint32_t now = clock_();
            const std::uint32_t elapsed = now - last_time_;  // modular: survives the wrap
            last_time_ = now;
            return static_cast<std::uint16_t>(std::min<std::uint32_t>(elapsed, MaxDelay));
        }
        case DelayMode::Constant:
            return constant_;
        case DelayMode::Zero:
            return 0;
    }
    return 0;
}

RecordChange MacroRecorder::place(Placement placement, MacroEvent event,
                                  std::vector<MacroEvent>& rows, int& selected) {
    RecordChange change;
    const int count = static_cast<int>(rows.size());
    const bool has_selection = selected >= 0 && selected < count;
    if (placement == Placement::Replace) {
        if (!has_selection)
            return change;
        MacroEvent& target = rows[static_cast<std::size_t>(selected)];
        target.button = event.button;
        target.type = event.type;
        previous_event_ = true;
        change.applied = true;
        change.replaced = true;
        change.row = selected;
        return change;
    }
    if (placement != Placement::Append && !has_selection)
        return change;
    if (rows.size() >= MaxEvents)
        return change;

    const std::uint16_t fresh = mode_ == DelayMode::Constant ? constant_ : 0;
    const std::uint16_t delay = next_delay();
    event.delay = fresh;
    int at = count;        // where the new row goes
    int before = at - 1;   // the row that takes the computed delay
    int select_after = 0;  // the selection afterwards
    switch (placement) {
        case Placement::Append:
            select_after = at;
            break;
        case Placement::Before:
            at = selected;
            before = selected - 1;
            select_after = selected + 1;
            break;
        case Placement::After:
            at = selected + 1;
            before = selected;
            select_after = at;
            break;
        case Placement::Replace:
            break;
    }
    if (count == 0 || at == 0)
        event.delay = 0;  // the only row, or a new first row: nothing came before it
    rows.insert(rows.begin() + at, event);
    change.applied = true;
    change.row = at;
    if (before >= 0 && previous_event_) {
        rows[static_cast<std::size_t>(before)].delay = delay;
        change.delay_row = before;
    }
    previous_event_ = true;
    selected = select_after;
    return change;
}

RecordChange MacroRecorder::key_event(Placement placement, std::optional<std::size_t> key_row,
                                      bool down, std::vector<MacroEvent>& rows, int& selected) {
    std::optional<std::size_t>& memory = last_key_[handler(placement)];
    if (down) {
        if (key_row && memory == key_row)
            return {};  // auto-repeat
        memory = key_row;
    } else if (key_row && memory == key_row) {
        memory.reset();
    }
    if (!key_row || *key_row >= KeyRowCount)
        return {};
    const KeyRow& row = key_table()[*key_row];
    MacroEvent event;
    event.down = down;
    if (row.usage != 0) {
        event.type = TypeKey;
        event.button = row.usage;
    } else {
        event.type = TypeModifier;
        event.button = row.modifier;
    }
    return place(placement, event, rows, selected);
}

RecordChange MacroRecorder::mouse_event(Placement placement, std::optional<std::size_t> mouse_row,
                                        bool on_stop_button, std::vector<MacroEvent>& rows,
                                        int& selected) {
    if (!mouse_row || *mouse_row >= 10)
        return {};  // moves, the wheel, buttons without a row
    const MouseEventRow& row = mouse_event_table()[*mouse_row];
    std::uint16_t& memory = last_mouse_[handler(placement)];
    if (row.message == memory)
        return {};
    memory = row.message;
    const bool left = *mouse_row <= 1;
    if (left && on_stop_button)
        return {};
    MacroEvent event;
    event.button = row.button;
    event.type = static_cast<std::uint8_t>(row.type_byte & 0x7F);
    event.down = (row.type_byte & 0x80) != 0;
    return place(placement, event, rows, selected);
}

RecordChange MacroRecorder::captured_key(Placement placement, unsigned x_keycode, bool down,
                                         std::vector<MacroEvent>& rows, int& selected) {
    return key_event(placement, row_for_x_keycode(x_keycode), down, rows, selected);
}

RecordChange MacroRecorder::captured_button(Placement placement, unsigned x_button, bool down,
                                            bool on_stop_button, std::vector<MacroEvent>& rows,
                                            int& selected) {
    return mouse_event(placement, mouse_row_for_x_button(x_button, down), on_stop_button, rows,
                       selected);
}

std::optional<MenuMouseItem> menu_mouse_item(std::string_view name) {
    struct Button {
        std::string_view prefix;
        std::uint8_t bit;
    };
    static constexpr Button kButtons[] = {
        {"left_", 0x01}, {"right_", 0x02}, {"middle_", 0x04}, {"back_", 0x08}, {"forward_", 0x10}};
    for (const Button& b : kButtons) {
        if (name.substr(0, b.prefix.size()) != b.prefix)
            continue;
        const std::string_view what = name.substr(b.prefix.size());
        if (what == "down")
            return MenuMouseItem{b.bit, true, false};
        if (what == "up")
            return MenuMouseItem{b.bit, false, true};
        if (what == "click")
            return MenuMouseItem{b.bit, true, true};
        return std::nullopt;
    }
    return std::nullopt;
}

MacroEvent move_event(MoveDirection direction, std::uint8_t steps) {
    MacroEvent e;
    e.button = steps;
    e.type = (direction == MoveDirection::Left || direction == MoveDirection::Right) ? TypeMoveX
                                                                                     : TypeMoveY;
    e.down = direction == MoveDirection::Left || direction == MoveDirection::Up;
    return e;
}

std::uint8_t move_steps(std::string_view typed) {
    std::string_view digits = typed;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    const std::uint64_t v = leading_decimal(digits).value_or(0);
    const std::uint64_t low = v & 0xFF;
    return static_cast<std::uint8_t>(negative ? (0x100 - low) & 0xFF : low);
}

bool insert_rows(std::vector<MacroEvent>& rows, int& selected,
                 const std::vector<MacroEvent>& events, std::uint16_t delay, int* first) {
    if (events.empty() || rows.size() + events.size() > MaxEvents)
        return false;
    const int count = static_cast<int>(rows.size());
    int at = (selected >= 0 && selected < count) ? selected + 1 : 0;
    if (first != nullptr)
        *first = at;
    for (MacroEvent e : events) {
        e.delay = delay;
        rows.insert(rows.begin() + at, e);
        selected = at;
        ++at;
    }
    return true;
}

}  // namespace velqa::macro
