// The recorder rules against a clock the test turns: delays by mode, the four placements,
// auto-repeat memories, the constant-delay clamp and the rows inserted without capture.
#include <gtest/gtest.h>

#include "macro/key_tables.h"
#include "macro/macro_files.h"
#include "macro/macro_recorder.h"

namespace velqa::macro {
namespace {

constexpr std::size_t KeyA = 8;    // key_table() row of A (usage 0x04)
constexpr std::size_t KeyB = 9;    // B (0x05)
constexpr std::size_t LShift = 1;  // modifier 0x02

class Recorder : public ::testing::Test {
  protected:
    Recorder() : rec_([this] { return now_; }) {}

    RecordChange key(Placement p, std::size_t row, bool down) {
        return rec_.key_event(p, row, down, rows_, selected_);
    }
    RecordChange mouse(Placement p, std::size_t row, bool on_stop = false) {
        return rec_.mouse_event(p, row, on_stop, rows_, selected_);
    }
    std::vector<int> delays() const {
        std::vector<int> out;
        for (const auto& e : rows_)
            out.push_back(e.delay);
        return out;
    }
    std::vector<int> buttons() const {
        std::vector<int> out;
        for (const auto& e : rows_)
            out.push_back(e.button);
        return out;
    }
    // Press and release of A with 100 ms between them.
    void record_a(DelayMode mode) {
        rec_.start(mode);
        key(Placement::Append, KeyA, true);
        now_ += 100;
        key(Placement::Append, KeyA, false);
    }

    std::uint32_t now_ = 5000;
    MacroRecorder rec_;
    std::vector<MacroEvent> rows_;
    int selected_ = -1;
};

TEST_F(Recorder, DelayModesPutThePauseIntoThePreviousRow) {
    record_a(DelayMode::Recorded);
    ASSERT_EQ(rows_.size(), 2u);
    EXPECT_EQ(rows_[0], (MacroEvent{true, 0x04, TypeKey, 100}));
    EXPECT_EQ(rows_[1], (MacroEvent{false, 0x04, TypeKey, 0}));
    EXPECT_EQ(selected_, 1);

    rows_.clear();
    rec_.set_constant_delay(50);
    record_a(DelayMode::Constant);
    EXPECT_EQ(delays(), (std::vector<int>{50, 50}));

    rows_.clear();
    record_a(DelayMode::Zero);
    EXPECT_EQ(delays(), (std::vector<int>{0, 0}));
}

TEST_F(Recorder, RecordedDelaysClampAndSurviveTheClockWrap) {
    now_ = 0xFFFFFFF0u;
    record_a(DelayMode::Recorded);  // the clock wraps between press and release
    EXPECT_EQ(rows_[0].delay, 100);
    now_ += 70000;
    key(Placement::Append, KeyB, true);
    EXPECT_EQ(rows_[1].delay, MaxDelay);
}

TEST_F(Recorder, TheFirstRecordingOfAnEditorLeavesExistingRowsAlone) {
    rows_ = {{true, 0x05, TypeKey, 7}};
    rec_.start(DelayMode::Recorded);
    now_ += 30;
    key(Placement::Append, KeyA, true);
    EXPECT_EQ(delays(), (std::vector<int>{7, 0}));  // no event was recorded before it
    now_ += 40;
    key(Placement::Append, KeyA, false);
    EXPECT_EQ(delays(), (std::vector<int>{7, 40, 0}));
}

TEST_F(Recorder, InsertBeforeLinesEventsUpInFrontOfTheSelection) {
    rows_ = {{true, 0x10, TypeKey, 5}, {false, 0x10, TypeKey, 6}};
    selected_ = 0;
    rec_.start(DelayMode::Recorded);
    now_ += 20;
    auto c = key(Placement::Before, KeyA, true);
    EXPECT_EQ(c.row, 0);
    EXPECT_EQ(c.delay_row, -1);
    EXPECT_EQ(delays(), (std::vector<int>{0, 5, 6}));  // row 0's own delay untouched
    EXPECT_EQ(selected_, 1);
    now_ += 30;
    c = key(Placement::Before, KeyA, false);
    EXPECT_EQ(c.row, 1);
    EXPECT_EQ(c.delay_row, 0);
    EXPECT_EQ(buttons(), (std::vector<int>{0x04, 0x04, 0x10, 0x10}));
    EXPECT_EQ(delays(), (std::vector<int>{30, 0, 5, 6}));
    EXPECT_EQ(selected_, 2);  // still the row that was selected

    selected_ = -1;
    EXPECT_FALSE(key(Placement::Before, KeyB, true).applied);
    EXPECT_FALSE(key(Placement::After, KeyB, true).applied);
    EXPECT_FALSE(key(Placement::Replace, KeyB, true).applied);
    EXPECT_EQ(rows_.size(), 4u);
}

TEST_F(Recorder, InsertAfterFollowsAndReplaceKeepsActionAndDelay) {
    rows_ = {{true, 0x10, TypeKey, 5}, {false, 0x10, TypeKey, 6}};
    selected_ = 0;
    rec_.set_constant_delay(25);
    rec_.start(DelayMode::Constant);
    key(Placement::After, KeyA, true);
    key(Placement::After, KeyA, false);
    EXPECT_EQ(buttons(), (std::vector<int>{0x10, 0x04, 0x04, 0x10}));
    // The first insert met no earlier event: row 0 keeps its 5.
    EXPECT_EQ(delays(), (std::vector<int>{5, 25, 25, 6}));
    EXPECT_EQ(selected_, 2);

    selected_ = 3;  // a release; Shift's press replaces its code only
    auto c = key(Placement::Replace, LShift, true);
    EXPECT_TRUE(c.replaced);
    EXPECT_EQ(rows_[3], (MacroEvent{false, 0x02, TypeModifier, 6}));
    EXPECT_EQ(rows_.size(), 4u);
}

TEST_F(Recorder, HeldKeysGiveOnePressAndEachHandlerRemembersAlone) {
    rec_.start(DelayMode::Zero);
    for (int i = 0; i < 5; ++i)
        key(Placement::Append, KeyA, true);
    key(Placement::Append, KeyB, true);   // a second key while A is held
    key(Placement::Append, KeyA, false);  // not the remembered key: B stays remembered
    key(Placement::Append, KeyB, true);   // still B's repeat
    key(Placement::Append, KeyB, false);
    key(Placement::Append, KeyB, true);  // pressed again after its release
    EXPECT_EQ(buttons(), (std::vector<int>{0x04, 0x05, 0x04, 0x05, 0x05}));

    // The append handler's memory is its own: insert-after has none yet.
    selected_ = 0;
    EXPECT_TRUE(key(Placement::After, KeyB, true).applied);
    // A key without a row is dropped.
    EXPECT_FALSE(rec_.key_event(Placement::Append, std::nullopt, true, rows_, selected_).applied);
}

TEST_F(Recorder, MouseButtonsRepeatByMessageSoXButtonsShareOne) {
    rec_.start(DelayMode::Zero);
    mouse(Placement::Append, 8);  // back down
    mouse(Placement::Append, 6);  // forward down while back is held: same message, dropped
    mouse(Placement::Append, 9);  // back up
    ASSERT_EQ(rows_.size(), 2u);
    EXPECT_EQ(rows_[0], (MacroEvent{true, 0x08, TypeMouseButton, 0}));
    EXPECT_EQ(rows_[1], (MacroEvent{false, 0x08, TypeMouseButton, 0}));
    EXPECT_FALSE(mouse(Placement::Append, 14).applied);  // the wheel
    EXPECT_EQ(mouse_message_of_row(6), mouse_message_of_row(8));
}

TEST_F(Recorder, AClickOnStopIsRememberedButNotRecorded) {
    rec_.start(DelayMode::Zero);
    EXPECT_FALSE(mouse(Placement::Append, 0, true).applied);
    EXPECT_FALSE(mouse(Placement::Append, 1, true).applied);
    EXPECT_TRUE(mouse(Placement::Append, 2, true).applied);  // only the left button counts
    EXPECT_TRUE(mouse(Placement::Append, 0).applied);        // 0x201 after 0x204
    EXPECT_EQ(rows_.size(), 2u);
}

TEST_F(Recorder, TheListStopsAt250Rows) {
    rows_.assign(MaxEvents, MacroEvent{true, 4, TypeKey, 0});
    rec_.start(DelayMode::Zero);
    EXPECT_FALSE(key(Placement::Append, KeyA, true).applied);
    selected_ = 3;
    EXPECT_FALSE(mouse(Placement::After, 0).applied);
    EXPECT_TRUE(key(Placement::Replace, KeyB, true).applied);
    EXPECT_EQ(rows_.size(), MaxEvents);
}

TEST(ConstantDelay, ClampsTypedValues) {
    EXPECT_EQ(clamp_constant_delay("5").value, 10);
    EXPECT_TRUE(clamp_constant_delay("5").raised);
    EXPECT_EQ(clamp_constant_delay("70000").value, 65535);
    EXPECT_FALSE(clamp_constant_delay("70000").raised);
    EXPECT_EQ(clamp_constant_delay("99999999999999999999999").value, 65535);
    EXPECT_EQ(clamp_constant_delay("10").value, 10);
    EXPECT_FALSE(clamp_constant_delay("10").raised);
    EXPECT_TRUE(clamp_constant_delay("").raised);
    EXPECT_EQ(clamp_constant_delay("120ms").value, 120);
}

TEST(InsertedRows, MenuItemsMovesAndPlacement) {
    EXPECT_EQ(menu_mouse_item("forward_click")->button, 0x10);
    EXPECT_TRUE(menu_mouse_item("back_down")->press);
    EXPECT_FALSE(menu_mouse_item("back_down")->release);
    EXPECT_EQ(menu_mouse_item("middle_up")->button, 0x04);
    EXPECT_FALSE(menu_mouse_item("middle_sideways"));
    EXPECT_FALSE(menu_mouse_item("macro_action_edit"));

    EXPECT_EQ(move_event(MoveDirection::Left, 3), (MacroEvent{true, 3, TypeMoveX, 0}));
    EXPECT_EQ(move_event(MoveDirection::Down, 9), (MacroEvent{false, 9, TypeMoveY, 0}));
    EXPECT_EQ(move_steps("300"), 44);  // low 8 bits
    EXPECT_EQ(move_steps(""), 0);
    EXPECT_EQ(move_steps("-1"), 255);

    std::vector<MacroEvent> rows;
    int sel = -1;
    const MacroEvent press{true, 1, TypeMouseButton, 0}, release{false, 1, TypeMouseButton, 0};
    ASSERT_TRUE(insert_rows(rows, sel, {press, release}, 50));
    EXPECT_EQ(sel, 1);
    ASSERT_TRUE(insert_rows(rows, sel, {move_event(MoveDirection::Up, 2)}, 70));
    EXPECT_EQ(sel, 2);
    EXPECT_EQ(rows[2].type, TypeMoveY);
    sel = -1;  // none selected: at the top
    int first = -1;
    ASSERT_TRUE(insert_rows(rows, sel, {release}, 10, &first));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(rows[0].delay, 10);
    rows.assign(MaxEvents - 1, press);
    EXPECT_FALSE(insert_rows(rows, sel, {press, release}, 10));
    EXPECT_EQ(rows.size(), MaxEvents - 1);
}

}  // namespace
}  // namespace velqa::macro
