// Recording end to end, under a private Xvfb server driven by xdotool: the main window with the
// simulated mouse records a macro from desktop input, the Buttons tab puts it on button 4, and
// "write to mouse" leaves exactly the macro image and key code in the mouse's memory.
#include <QAbstractButton>
#include <cstdlib>
#include <string>

#include "app/device_hook.h"
#include "app/main_wnd.h"
#include "app/messages.h"
#include "app_fixture.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "macro/key_tables.h"
#include "macro/macro_files.h"
#include "macro/macro_image.h"
#include "macro/ui/keyset_control.h"
#include "macro/ui/macro_control.h"
#include "platform/input/input_capture.h"
#include "platform/ui/window.h"

namespace velqa::test {
namespace {

using app::CMainWnd;

class RecordingTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        const char* xvfb = std::getenv("VELQA_TEST_XVFB");
        const char* xdotool = std::getenv("VELQA_TEST_XDOTOOL");
        if (!xvfb || std::string(xvfb) != "1" || !xdotool)
            GTEST_SKIP() << "needs xvfb-run and xdotool";
        xdotool_ = xdotool;
        sim = std::make_unique<sim::InProcessSim>(dir_ / "sim");
        ASSERT_TRUE(sim->started());
        sim->nodes().unplug(sim::Link::Receiver);
        sim->firmware().set_plugged(sim::Link::Receiver, false);
        wnd =
            std::make_unique<CMainWnd>(factory(), dir_ / "user", store(), nullptr, sim->backend());
        wnd->recorder().set_input_capture(platform::input::make_input_capture(
            platform::input::session_displays_from_environment()));
        ASSERT_TRUE(wnd->recorder().device_hook().desktop_wide())
            << wnd->recorder().device_hook().window_only_reason();
        QObject::connect(wnd.get(), &CMainWnd::settled, [this] { settled = true; });
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(800, 572)));
        ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
        ASSERT_FALSE(wnd->devices().mouse_pages().empty());
        page = wnd->devices().mouse_pages().front();
        ASSERT_NE(page->macro_editor(), nullptr);
        ASSERT_NE(page->keyset_editor(), nullptr);
    }
    void TearDown() override {
        wnd.reset();
        sim.reset();
        AppTest::TearDown();
    }

    void xdotool(const std::string& args) {
        ASSERT_EQ(std::system((xdotool_ + " " + args).c_str()), 0) << args;
    }
    void click(const char* name) {
        auto* button = qobject_cast<QAbstractButton*>(page->findChild<QWidget*>(name));
        ASSERT_NE(button, nullptr) << name;
        button->click();
    }

    std::string xdotool_;
    std::unique_ptr<sim::InProcessSim> sim;
    std::unique_ptr<CMainWnd> wnd;
    model::CZentovaMouseDevice* page = nullptr;
    bool settled = false;
};

TEST_F(RecordingTest, ARecordedMacroOnButtonFourReachesTheMouseByteForByte) {
    macro::CMacroControlUI* macros = page->macro_editor();
    // Each event is 100 ms after the one before on the editor's clock.
    std::uint32_t now = 1000;
    macros->set_clock([&now] { return now += 100; });
    wnd->show_tab(QStringLiteral("macro_Op_tab"));
    // The new macro's question is answered yes.
    platform::ui::Window::set_modal_test_hook([](platform::ui::Window& w) {
        qobject_cast<QAbstractButton*>(w.find_control("confirm_btn"))->click();
    });
    click("macro_btn_name_add");
    ASSERT_EQ(macros->library().size(), 1);

    // Away from the Stop button: the recorder leaves out a click on it.
    xdotool("mousemove 1 1");
    click("macro_btn_starredio");
    ASSERT_TRUE(macros->recording());
    ASSERT_TRUE(wnd->recorder().recording());
    ASSERT_TRUE(wnd->recorder().device_hook().installed());
    EXPECT_EQ(wnd->recorder().device_hook().mode(), app::kHookRecord);
    // Device choice, the other tabs and the profiles wait while recording.
    EXPECT_FALSE(wnd->tab_button(CMainWnd::kKeyTab)->isEnabled());
    EXPECT_TRUE(wnd->tab_button(CMainWnd::kMacroTab)->isEnabled());

    xdotool("key a click 1");
    ASSERT_TRUE(wait_until([&] { return macros->shown_events().size() == 4; }, 20000));
    click("macro_btn_stopredio");
    EXPECT_FALSE(macros->recording());
    EXPECT_FALSE(wnd->recorder().recording());
    EXPECT_FALSE(wnd->recorder().device_hook().installed());
    EXPECT_TRUE(wnd->tab_button(CMainWnd::kKeyTab)->isEnabled());

    // Saved: A down, A up, left down, left up, each pause in the event before it.
    macro::MacroLibrary library(dir_ / "user" / "mouse");
    library.load();
    ASSERT_EQ(library.size(), 1);
    const std::vector<macro::MacroEvent> events = library.load_events(0);
    ASSERT_EQ(events.size(), 4u);
    const auto a = macro::key_table()[*macro::row_for_usage(0x04)];
    const auto left_down = macro::mouse_event_table()[0];
    EXPECT_EQ(events[0], (macro::MacroEvent{true, a.usage, 10, 100}));
    EXPECT_EQ(events[1], (macro::MacroEvent{false, a.usage, 10, 100}));
    EXPECT_EQ(events[2],
              (macro::MacroEvent{true, left_down.button,
                                 static_cast<std::uint8_t>(left_down.type_byte & 0x7F), 100}));
    EXPECT_EQ(events[3].down, false);
    EXPECT_EQ(events[3].button, left_down.button);
    EXPECT_EQ(events[3].delay, 0);

    // Button 4 gets macro 0 (played once), and the Buttons tab writes it to the mouse.
    wnd->show_tab(QStringLiteral("key_Op_tab"));
    page->select_key(4);
    page->keyset_editor()->show(profile::KeyCode{0x70, 0, 0});
    click("key_butt_keysave");
    ASSERT_EQ(page->profile().read_key_list().at(4).current, (profile::KeyCode{0x70, 0, 0}));
    bool written = false;
    QObject::connect(page, &model::CZentovaMouseDevice::buttons_written,
                     [&written](bool ok) { written = ok; });
    click("key_butt_prosave");
    ASSERT_TRUE(written);

    const std::vector<std::uint8_t> table = sim->firmware().key_table();
    ASSERT_GE(table.size(), 15u);
    EXPECT_EQ(table[12], 0x70);
    EXPECT_EQ(table[13], 0x00);  // slot 0: the first macro used
    EXPECT_EQ(table[14], 0x00);
    const std::vector<std::uint8_t> image = macro::MacroImage::build({events});
    const std::vector<std::uint8_t> memory = sim->firmware().macro_memory();
    ASSERT_GE(memory.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin()));
    // The first event's record: delay 100 little-endian, type 10 with the down bit, usage A.
    // (after the 16-byte header, one record offset and the record's 4-byte header).
    EXPECT_EQ(memory[16 + 2 + 4], 100);
    EXPECT_EQ(memory[16 + 2 + 4 + 1], 0);
    EXPECT_EQ(memory[16 + 2 + 4 + 2], 0x8A);
    EXPECT_EQ(memory[16 + 2 + 4 + 3], 0x04);
}

TEST_F(RecordingTest, UnpluggingTheMouseEndsTheRecordingKeepsItAndReleasesTheKeyboard) {
    macro::CMacroControlUI* macros = page->macro_editor();
    wnd->show_tab(QStringLiteral("macro_Op_tab"));
    platform::ui::Window::set_modal_test_hook([](platform::ui::Window& w) {
        qobject_cast<QAbstractButton*>(w.find_control("confirm_btn"))->click();
    });
    click("macro_btn_name_add");
    xdotool("mousemove 1 1");
    click("macro_btn_starredio");
    ASSERT_TRUE(wnd->recorder().device_hook().installed());
    xdotool("key a");
    ASSERT_TRUE(wait_until([&] { return macros->shown_events().size() == 2; }, 20000));
    sim->nodes().unplug(sim::Link::Cable);
    sim->firmware().set_plugged(sim::Link::Cable, false);
    ASSERT_TRUE(wait_until([&] { return !macros->recording(); }, 20000));
    EXPECT_FALSE(wnd->recorder().recording());
    EXPECT_FALSE(wnd->recorder().device_hook().installed());
    EXPECT_TRUE(wnd->tab_button(CMainWnd::kKeyTab)->isEnabled());
    macro::MacroLibrary library(dir_ / "user" / "mouse");
    library.load();
    EXPECT_EQ(library.load_events(0).size(), 2u);
}

TEST_F(RecordingTest, KeyCaptureRunsWhileTheKeyFieldHasTheFocus) {
    wnd->show_tab(QStringLiteral("key_Op_tab"));
    page->select_key(3);
    // The key field is on the keyboard group's page.
    page->keyset_editor()->show(profile::KeyCode{0x20, 0, 0});
    // The field's focus sends the window the capture messages.
    wnd->send_message(app::kMsgHook, 1, 0);
    ASSERT_TRUE(wnd->recorder().device_hook().installed());
    EXPECT_EQ(wnd->recorder().device_hook().mode(), app::kHookSingleKey);
    xdotool("key b");
    const auto b = *macro::row_for_usage(0x05);
    ASSERT_TRUE(wait_until(
        [&] {
            return page->profile().read_key_list().at(3).current ==
                   profile::KeyCode{0x20, 0, macro::key_table()[b].usage};
        },
        20000));
    wnd->send_message(app::kMsgHook, 0, 0);
    EXPECT_FALSE(wnd->recorder().device_hook().installed());
}

}  // namespace
}  // namespace velqa::test
