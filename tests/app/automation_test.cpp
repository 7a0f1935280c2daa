// The scripting interface against a small window, and over a private session bus (the test runs
// under dbus-run-session; the bus cases skip without one).
#include "app/automation.h"

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <tuple>

#include "platform/ipc/program_channel.h"
#include "platform/json_read.h"
#include "platform/ui/ui_fixture.h"
#include "support/waiting.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;
using app::Automation;

const std::string kGroup = R"(<property name="group" stdset="0"><string>rate</string></property>)";

class AutomationTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        layout(ui_widget("QLineEdit", "DPI_edit_2") + ui_widget("QLineEdit", "num_edit") +
               ui_widget("QSlider", "DPI_slider_3",
                         "<property name=\"orientation\"><enum>Qt::Horizontal</enum></property>"
                         "<property name=\"maximum\"><number>100</number></property>") +
               ui_widget("QPushButton", "option_0", kGroup) +
               ui_widget("QPushButton", "option_1", kGroup) + ui_widget("QCheckBox", "check") +
               ui_widget("QPushButton", "okbtn") + ui_widget("QComboBox", "combo") +
               ui_widget("QListWidget", "list") + ui_widget("QTextEdit", "notes") +
               ui_widget("QLabel", "label"));
        wnd = open_window();
        pui::set_number_only(wnd->find_control("num_edit"), true);
        pui::set_max_length(wnd->find_control("num_edit"), 5);
        for (const char* item : {"a", "b", "c"}) {
            pui::add_combo_item(wnd->find_control("combo"), item);
            wnd->find_control_as<QListWidget>("list")->addItem(item);
        }
        pui::set_selected(wnd->find_control("option_0"), true, false);
        settle(*wnd);
    }
    std::unique_ptr<RecordingWindow> open_window() {
        auto w = std::make_unique<RecordingWindow>("XML_TEST");
        EXPECT_TRUE(w->create("t", QSize(300, 600)));
        w->show();
        return w;
    }
    // Start-up notifications (window init, focus) are not what the tests look at.
    static void settle(RecordingWindow& w) {
        wait_until([&] { return w.count("windowinit") == 1; });
        QCoreApplication::processEvents();
        w.seen.clear();
    }
    using Seen = std::tuple<std::string, QString, pui::WParam>;
    std::vector<Seen> seen() const {
        std::vector<Seen> s;
        for (const auto& n : wnd->seen)
            s.emplace_back(n.type, n.sender, n.wparam);
        return s;
    }
    Json::Value query(const QString& name) {
        return platform::parse_json(automation->Query(name).toStdString());
    }

    QObject host;
    Automation* automation = new Automation(&host);
    std::unique_ptr<RecordingWindow> wnd;
};

TEST_F(AutomationTest, InvokeSetsTheValueSilentlyThenNotifiesOnceAsAUser) {
    EXPECT_TRUE(automation->Invoke("killfocus", "DPI_edit_2", "3200"));
    EXPECT_TRUE(automation->Invoke("valuechanged", "DPI_slider_3", "42"));
    // Selecting option_1 clears option_0 of its group; only the one notification is delivered.
    EXPECT_TRUE(automation->Invoke("selectchanged", "option_1", "1"));
    EXPECT_TRUE(automation->Invoke("selectchanged", "check", "1"));
    EXPECT_TRUE(automation->Invoke("selectchanged", "check", "0"));
    EXPECT_TRUE(automation->Invoke("itemselect", "combo", "2"));
    EXPECT_TRUE(automation->Invoke("itemselect", "list", "0x1"));
    EXPECT_TRUE(automation->Invoke("killfocus", "notes", "line one"));
    // Without a value the control keeps its own, and the wParam still reports it.
    EXPECT_TRUE(automation->Invoke("movevaluechanged", "DPI_slider_3", ""));
    EXPECT_TRUE(automation->Invoke("click", "okbtn", ""));

    EXPECT_EQ(seen(), (std::vector<Seen>{{"killfocus", "DPI_edit_2", 0},
                                         {"valuechanged", "DPI_slider_3", 42},
                                         {"selectchanged", "option_1", 1},
                                         {"selectchanged", "check", 1},
                                         {"selectchanged", "check", 0},
                                         {"itemselect", "combo", 2},
                                         {"itemselect", "list", 1},
                                         {"killfocus", "notes", 0},
                                         {"movevaluechanged", "DPI_slider_3", 42},
                                         {"click", "okbtn", 0}}));
    EXPECT_EQ(pui::text(wnd->find_control("DPI_edit_2")), "3200");
    EXPECT_FALSE(pui::is_selected(wnd->find_control("option_0")));
    EXPECT_EQ(pui::current_item(wnd->find_control("list")), 1);
}

TEST_F(AutomationTest, ValuesThatDoNotFitAreRefusedAndChangeNothing) {
    pui::set_value(wnd->find_control("DPI_slider_3"), 10);
    pui::set_text(wnd->find_control("num_edit"), "77");
    DebugLines lines;
    const std::tuple<const char*, const char*, const char*> refused[] = {
        {"valuechanged", "DPI_slider_3", "abc"},
        {"valuechanged", "DPI_slider_3", "101"},
        {"valuechanged", "DPI_slider_3", "-1"},
        {"valuechanged", "DPI_slider_3", " 5"},
        {"itemselect", "combo", "3"},
        {"itemselect", "combo", "-1"},
        {"itemselect", "list", "one"},
        {"selectchanged", "check", "yes"},
        {"selectchanged", "check", "2"},
        // The selected option of an exclusive group cannot be cleared on its own.
        {"selectchanged", "option_0", "0"},
        {"killfocus", "num_edit", "12a"},
        {"killfocus", "num_edit", "123456"},
        {"click", "okbtn", "1"},
        {"click", "label", "text"},
        {"click", "no_such_control", ""},
        {"", "okbtn", ""},
    };
    for (const auto& [type, control, value] : refused)
        EXPECT_FALSE(automation->Invoke(type, control, value)) << control << " " << value;
    EXPECT_TRUE(seen().empty());
    EXPECT_EQ(pui::value(wnd->find_control("DPI_slider_3")), 10);
    EXPECT_EQ(pui::current_item(wnd->find_control("combo")), 0);
    EXPECT_TRUE(pui::is_selected(wnd->find_control("option_0")));
    EXPECT_EQ(pui::text(wnd->find_control("num_edit")), "77");
    EXPECT_EQ(lines.count("automation: \"DPI_slider_3\" takes a number from 0 to 100, not \"101\""),
              1u);
    EXPECT_EQ(lines.count("automation: no visible window holds \"no_such_control\""), 1u);
}

TEST_F(AutomationTest, OnlyVisibleWindowsAreDrivenTheNewestFirst) {
    auto dialog = open_window();
    settle(*dialog);
    wnd->seen.clear();
    EXPECT_TRUE(automation->Invoke("click", "okbtn", ""));
    EXPECT_EQ(dialog->count("click", "okbtn"), 1);
    EXPECT_TRUE(seen().empty());

    dialog->hide();
    EXPECT_TRUE(automation->Invoke("click", "okbtn", ""));
    EXPECT_EQ(wnd->count("click", "okbtn"), 1);
    EXPECT_EQ(dialog->count("click", "okbtn"), 1);

    wnd->hide();
    EXPECT_FALSE(automation->Invoke("click", "okbtn", ""));
    // Query still describes a control of a hidden window.
    const Json::Value hidden = query("okbtn");
    EXPECT_TRUE(platform::to_bool(platform::member(hidden, "found")));
    EXPECT_FALSE(platform::to_bool(platform::member(hidden, "visible")));
}

TEST_F(AutomationTest, QueryDescribesTheControlAndAMissingOne) {
    pui::set_value(wnd->find_control("DPI_slider_3"), 64);
    pui::select_item(wnd->find_control("combo"), 1, false);
    pui::set_selected(wnd->find_control("check"), true, false);
    pui::set_text(wnd->find_control("DPI_edit_2"), QString::fromUtf8("800 点"));
    wnd->find_control("okbtn")->setEnabled(false);

    const Json::Value slider = query("DPI_slider_3");
    EXPECT_TRUE(platform::to_bool(platform::member(slider, "found")));
    EXPECT_EQ(platform::to_text(platform::member(slider, "class")), "QSlider");
    EXPECT_TRUE(platform::to_bool(platform::member(slider, "visible")));
    EXPECT_TRUE(platform::to_bool(platform::member(slider, "enabled")));
    EXPECT_EQ(platform::to_int(platform::member(slider, "value")), 64);
    EXPECT_EQ(platform::to_int(platform::member(query("combo"), "index")), 1);
    EXPECT_EQ(platform::to_text(platform::member(query("combo"), "text")), "b");
    EXPECT_TRUE(platform::to_bool(platform::member(query("check"), "selected")));
    EXPECT_EQ(platform::to_text(platform::member(query("DPI_edit_2"), "text")), "800 点");
    EXPECT_FALSE(platform::to_bool(platform::member(query("okbtn"), "enabled")));
    for (const char* key : {"visible", "enabled", "text", "value", "selected", "index"})
        EXPECT_TRUE(query("label").isMember(key)) << key;

    EXPECT_EQ(automation->Query("no_such_control"), R"({"found":false})");
}

TEST_F(AutomationTest, StateComesFromItsProvider) {
    EXPECT_EQ(automation->State(), "{}");
    automation->set_state_provider([] { return std::string(R"({"window_visible":true})"); });
    EXPECT_EQ(automation->State(), R"({"window_visible":true})");
}

// Over the bus: both interfaces on the program's object, and a call that drives the window.
TEST_F(AutomationTest, ScriptsDriveTheWindowOverTheSessionBus) {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        GTEST_SKIP() << "needs a session bus (registered under dbus-run-session)";
    const QString service =
        QString("com.zarn.VelqaR260.AutomationTest%1").arg(QCoreApplication::applicationPid());
    platform::ipc::ProgramChannel channel("program", service);
    auto* exported = new Automation(&channel);
    exported->set_state_provider([] { return std::string(R"({"no_device_link":false})"); });
    ASSERT_EQ(channel.claim(), platform::ipc::ProgramChannel::Role::Primary);

    QDBusConnection script = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "script");
    auto call = [&](const QString& interface, const QString& method, const QVariantList& args) {
        QDBusMessage m =
            QDBusMessage::createMethodCall(service, platform::ipc::kObjectPath, interface, method);
        m.setArguments(args);
        // The window answers on this thread, so the wait keeps its events flowing.
        return script.call(m, QDBus::BlockWithGui, 5000);
    };
    const QString iface = app::kAutomationInterface;
    QDBusMessage reply = call(iface, "Invoke", {"killfocus", "DPI_edit_2", "3200"});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_TRUE(reply.arguments().value(0).toBool());
    EXPECT_EQ(seen(), (std::vector<Seen>{{"killfocus", "DPI_edit_2", 0}}));
    EXPECT_FALSE(call(iface, "Invoke", {"click", "missing", ""}).arguments().value(0).toBool());

    const Json::Value answer = platform::parse_json(
        call(iface, "Query", {"DPI_edit_2"}).arguments().value(0).toString().toStdString());
    EXPECT_EQ(platform::to_text(platform::member(answer, "text")), "3200");
    EXPECT_EQ(call(iface, "State", {}).arguments().value(0).toString(),
              R"({"no_device_link":false})");

    const QString xml = call("org.freedesktop.DBus.Introspectable", "Introspect", {})
                            .arguments()
                            .value(0)
                            .toString();
    EXPECT_TRUE(xml.contains(R"(<interface name="com.zarn.VelqaR260.Automation">)"))
        << xml.toStdString();
    EXPECT_TRUE(xml.contains(R"(<interface name="com.zarn.VelqaR260.Messages">)"));
    EXPECT_TRUE(xml.contains(R"(<method name="Invoke">)"));
    EXPECT_TRUE(xml.contains(R"(<method name="CopyData">)"));
    // The messages interface still answers beside it.
    EXPECT_EQ(call(platform::ipc::kInterface, "Post", {"x", qlonglong(0), qlonglong(0)}).type(),
              QDBusMessage::ReplyMessage);
    QDBusConnection::disconnectFromBus("script");
}

}  // namespace
}  // namespace velqa::test
