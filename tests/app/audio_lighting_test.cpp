// Music lighting end to end on a simulated keyboard: blocks of audio levels sent by another
// program over the session bus light the keys, and the companion reads a real PulseAudio
// server's output, where a tone is played, and lights them too. Without an audio server the
// effect says once why it cannot run. Runs under dbus-run-session.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>

#include "app/audio_companion.h"
#include "app/main_wnd.h"
#include "app_fixture.h"
#include "device/model/ui/keyboard_device.h"
#include "in_process_sim.h"
#include "platform/ipc/program_channel.h"
#include "platform/ui/controls.h"
#include "profile/ui/light_control.h"
#include "support/private_pulse.h"
#include "support/waiting.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;
using model::CZentovaKeyboardDevice;
using sim::InProcessSim;
using sim::Link;

class AudioLightingTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            GTEST_SKIP() << "needs a session bus (registered under dbus-run-session)";
    }
    void TearDown() override {
        wnd.reset();
        channel.reset();
        sim.reset();
        qunsetenv("PULSE_SERVER");
        AppTest::TearDown();
    }
    // A keyboard on its cable, the window, and our end of the bus as the program has it.
    void start() {
        sim::FirmwareOptions options;
        options.device = sim::SimDevice::Keyboard;
        options.keys = 104;
        const auto config = source_dir() / "tests" / "app" / "keyboard_test_config.json";
        auto data = link::load_device_data(factory(), config);
        ASSERT_TRUE(data.problems.empty());
        sim = std::make_unique<InProcessSim>(
            dir_ / "sim", options, 0, sim::keyboard_identity(*link::read_keyboard_ids(config)));
        ASSERT_TRUE(sim->started());
        sim->unplug(Link::Receiver);
        wnd = std::make_unique<app::CMainWnd>(
            factory(), dir_ / "user", store(), nullptr, sim->backend(),
            std::make_shared<const link::DeviceCatalog>(std::move(data.catalog)));
        bool settled = false;
        QObject::connect(wnd.get(), &app::CMainWnd::settled, [&settled] { settled = true; });
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(1000, 640)));
        ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
        ASSERT_TRUE(wait_until([&] { return page() != nullptr && page()->device_loaded(); }));
        channel = std::make_unique<platform::ipc::ProgramChannel>("audio_test", service());
        channel->set_data_receiver(
            [this](quint32 kind, const QByteArray& block) {
                wnd->devices().receive_data_block(kind, block);
            },
            app::DeviceManager::kDataBlockBytes);
        ASSERT_EQ(channel->claim(), platform::ipc::ProgramChannel::Role::Primary);
    }
    QString service() const {
        return QStringLiteral("com.zarn.VelqaR260.AudioTest%1")
            .arg(QCoreApplication::applicationPid());
    }
    void use_companion() {
        wnd->devices().set_audio_companion(std::make_unique<app::AudioCompanion>(
            std::filesystem::path(VELQA_BIN_DIR) / "velqa-audio",
            QStringList{QStringLiteral("--service"), service()}));
    }
    CZentovaKeyboardDevice* page() const {
        return wnd->devices().keyboard_pages().empty() ? nullptr
                                                       : wnd->devices().keyboard_pages().front();
    }
    profile::CLightControlUI* editor() const { return page()->light_editor(); }
    // The user picks a lighting mode in the editor.
    void choose_mode(int mode) {
        ASSERT_TRUE(
            pui::select_item(editor()->control(QStringLiteral("light_combo_modeSelect")), mode));
        ASSERT_EQ(page()->shown_light_mode(), mode);
    }
    // Music lighting lights the first keys fully and leaves the last dim.
    bool keys_lit() const {
        const model::LedFrame frame = page()->light_thread().frame();
        return frame.size() > 1 && frame[0].brightness > frame[frame.size() - 1].brightness;
    }
    // What the keyboard was last streamed for its first key, against its last (the level lights
    // keys from the first on).
    bool keyboard_lit() const {
        const auto sent = sim->firmware().lighting_memory();
        const std::size_t last = 3 * 103;
        return sent[0] + sent[1] + sent[2] > sent[last] + sent[last + 1] + sent[last + 2];
    }
    // Another program's CopyData call; its reply type.
    QDBusMessage::MessageType send_block(uint kind, const QByteArray& block) {
        QDBusConnection caller =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("caller"));
        QDBusMessage call = QDBusMessage::createMethodCall(service(), platform::ipc::kObjectPath,
                                                           platform::ipc::kInterface, "CopyData");
        call << kind << block;
        const auto type = caller.call(call, QDBus::BlockWithGui, 5000).type();
        QDBusConnection::disconnectFromBus(QStringLiteral("caller"));
        return type;
    }

    std::unique_ptr<InProcessSim> sim;
    std::unique_ptr<app::CMainWnd> wnd;
    std::unique_ptr<platform::ipc::ProgramChannel> channel;
};

QByteArray levels_block(std::uint32_t level, int count = 500) {
    QByteArray block(count * 4, '\0');
    for (int i = 0; i < count; ++i) {
        for (int b = 0; b < 4; ++b)
            block[i * 4 + b] = static_cast<char>((level >> (8 * b)) & 0xFF);
    }
    return block;
}

TEST_F(AudioLightingTest, BlocksFromAnotherProgramLightTheKeysAndReachTheKeyboardPage) {
    start();
    choose_mode(model::KbAudio);
    ASSERT_TRUE(wait_until([&] { return !keys_lit() && page()->light_thread().frames() > 0; }));

    // A rise in every band lights keys on the page and on the keyboard, as many as the rise is
    // loud: here about half.
    EXPECT_EQ(send_block(1, levels_block(131)), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(wait_until([&] { return keys_lit() && keyboard_lit(); }));
    EXPECT_GT(wnd->devices().audio_level(), 0);
    // The same levels again are no rise: the light falls back.
    for (int i = 0; i < 25; ++i)
        send_block(1, levels_block(131));
    EXPECT_EQ(wnd->devices().audio_level(), 0);
    ASSERT_TRUE(wait_until([&] { return !keys_lit(); }));

    // A block past the buffer is refused to its sender and changes nothing.
    EXPECT_EQ(send_block(1, levels_block(60000, 501)), QDBusMessage::ErrorMessage);
    EXPECT_EQ(wnd->devices().audio_level(), 0);

    // The keyboard block goes to the first keyboard page, the rest of its buffer cleared.
    const QByteArray keyboard_block("\x11\x22\x00\x33", 4);
    EXPECT_EQ(send_block(2, keyboard_block), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(wait_until([&] { return !page()->data_block().empty(); }));
    ASSERT_EQ(page()->data_block().size(), app::DeviceManager::kDataBlockBytes);
    EXPECT_EQ(page()->data_block()[1], 0x22);
    EXPECT_EQ(page()->data_block()[3], 0x33);
    EXPECT_EQ(page()->data_block()[4], 0);
}

TEST_F(AudioLightingTest, ATonePlayedOnTheDesktopLightsTheKeysOnlyWhileTheEffectIsChosen) {
    PrivatePulse pulse(dir_ / "pulse");
    if (!pulse.started()) {
        ASSERT_FALSE(on_path("pulseaudio")) << pulse.why_not();
        GTEST_SKIP() << pulse.why_not();
    }
    qputenv("PULSE_SERVER", pulse.server().c_str());
    start();
    use_companion();
    app::AudioCompanion* companion = wnd->devices().audio_companion();
    // No music effect: no companion, no connection to the audio server.
    EXPECT_FALSE(companion->running());

    choose_mode(model::KbAudio);
    ASSERT_TRUE(companion->running());
    // Beeps of 1 kHz: every beep is a rise in its bands.
    const auto wav = dir_ / "beeps.wav";
    write_tone_wav(wav, 1000.0, 120, 120, 20000);
    Child player = pulse.play(wav);
    ASSERT_TRUE(wait_until([&] { return keys_lit() && keyboard_lit(); }, 20000))
        << companion->detail().toStdString();
    EXPECT_TRUE(companion->unavailable_text_id().isEmpty());

    // Another effect: the companion ends and the keys stop following the music.
    const qint64 pid = companion->process_id();
    choose_mode(model::KbStatic);
    EXPECT_FALSE(companion->running());
    EXPECT_NE(::kill(static_cast<pid_t>(pid), 0), 0);
    EXPECT_EQ(wnd->devices().audio_level(), 0);
}

TEST_F(AudioLightingTest, WithoutAnAudioServerTheEffectSaysOnceWhyItIsUnavailable) {
    // A server that is not there, as on a desktop without sound.
    qputenv("PULSE_SERVER", (dir_ / "no-server").string().insert(0, "unix:").c_str());
    DebugLines debug;
    start();
    use_companion();
    choose_mode(model::KbAudio);
    app::AudioCompanion* companion = wnd->devices().audio_companion();
    ASSERT_TRUE(wait_until([&] { return !companion->unavailable_text_id().isEmpty(); }, 20000));
    EXPECT_EQ(companion->unavailable_text_id(), "light_audio_no_server_text");
    EXPECT_FALSE(companion->running());

    auto* label =
        qobject_cast<QLabel*>(editor()->control(QStringLiteral("light_audio_unavailable_label")));
    ASSERT_NE(label, nullptr);
    EXPECT_FALSE(label->isHidden());
    EXPECT_EQ(label->text(),
              pui::LanguageTexts::instance()
                  .text("light_audio_unavailable_text")
                  .arg(pui::LanguageTexts::instance().text("light_audio_no_server_text")));
    EXPECT_TRUE(label->toolTip().contains("no audio server")) << label->toolTip().toStdString();

    // The page showing its lighting again neither starts the companion again nor says it again.
    page()->refresh_page();
    page()->reload_settings();
    QCoreApplication::processEvents();
    EXPECT_FALSE(companion->running());
    EXPECT_EQ(debug.count_containing("music lighting unavailable"), 1u);
}

}  // namespace
}  // namespace velqa::test
