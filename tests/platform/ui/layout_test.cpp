// Building windows from layouts: names, custom classes, unknown classes, resource index.
#include <QLabel>
#include <QPushButton>

#include "platform/ui/control_factory.h"
#include "platform/ui/layout_builder.h"
#include "ui_fixture.h"

namespace velqa::test {
namespace {

using platform::ui::ControlFactory;
using platform::ui::Resources;

class Custom : public QWidget {};

TEST_F(UiTest, LayoutByIndexNameFindsControlsByName) {
    layout(ui_widget("QPushButton", "okbtn") + ui_widget("QLabel", "caption"));
    RecordingWindow wnd("XML_TEST");
    ASSERT_TRUE(wnd.create("t"));
    EXPECT_NE(wnd.find_control_as<QPushButton>("okbtn"), nullptr);
    EXPECT_NE(wnd.find_control_as<QLabel>("caption"), nullptr);
    EXPECT_EQ(wnd.find_control("root"), wnd.root());
    EXPECT_EQ(wnd.find_control("nothing"), nullptr);
    EXPECT_EQ(wnd.find_control(""), nullptr);
    EXPECT_EQ(wnd.init_calls, 1);
}

TEST_F(UiTest, BackslashPathsResolveUnderTheRoot) {
    layout(ui_widget("QLabel", "inner"), "XML/CustomControlXML/Inner.xml");
    RecordingWindow wnd("XML\\CustomControlXML\\Inner.xml");
    ASSERT_TRUE(wnd.create("t"));
    EXPECT_NE(wnd.find_control("inner"), nullptr);
    EXPECT_EQ(Resources::instance().resolve("XML\\a\\b.xml"), dir_.path() / "XML/a/b.xml");
}

TEST_F(UiTest, MissingLayoutFailsWithADebugLineAndAnEmptyWindow) {
    platform::DebugCapture debug;
    RecordingWindow wnd("XML/none.xml");
    EXPECT_FALSE(wnd.create("t"));
    EXPECT_EQ(wnd.root(), nullptr);
    EXPECT_EQ(wnd.find_control("anything"), nullptr);
    EXPECT_TRUE(debug.contains("XML/none.xml"));
}

TEST_F(UiTest, MalformedIndexDropsEntriesAndNamesResolveAsPaths) {
    write_text(dir_ / "res.xml", "<Res><Layout name=\"XML_TEST\" file=\"x\"");
    platform::DebugCapture debug;
    EXPECT_FALSE(Resources::instance().load_resource("res.xml"));
    EXPECT_TRUE(Resources::instance().entries().empty());
    EXPECT_EQ(Resources::instance().resolve("XML_TEST"), dir_.path() / "XML_TEST");
    EXPECT_FALSE(Resources::instance().load_resource("missing.xml"));
}

TEST_F(UiTest, CallbackComesFirstThenFactoryWithPrefixAndSuffixIgnoringCase) {
    ControlFactory::instance().regist_control("CFancyDialUI", [] { return new Custom; });
    layout(ui_widget("FancyDial", "dial") + ui_widget("fancydial", "dial2") +
           ui_widget("Special", "special"));
    RecordingWindow wnd("XML_TEST");
    QWidget* from_callback = nullptr;
    wnd.callback = [&](const QString& cls) -> QWidget* {
        if (cls == "Special")
            return from_callback = new QLabel("x");
        return nullptr;
    };
    ASSERT_TRUE(wnd.create("t"));
    EXPECT_TRUE(wnd.unknown_classes().empty());
    auto* dial = wnd.find_control("dial");
    ASSERT_NE(dynamic_cast<Custom*>(dial), nullptr);
    EXPECT_NE(dynamic_cast<Custom*>(wnd.find_control("dial2")), nullptr);
    EXPECT_EQ(dial->property(platform::ui::kClassProperty).toString(), "FancyDial");
    EXPECT_EQ(wnd.find_control("special"), from_callback);
    EXPECT_EQ(wnd.custom_classes().size(), 3u);
}

TEST_F(UiTest, UnknownClassIsReportedNotSilentlyDropped) {
    layout(ui_widget("NoSuchControlUI", "ghost") + ui_widget("QLabel", "real"));
    platform::DebugCapture debug;
    RecordingWindow wnd("XML_TEST");
    wnd.create("t");
    ASSERT_EQ(wnd.unknown_classes().size(), 1u);
    EXPECT_EQ(wnd.unknown_classes()[0], "NoSuchControlUI ghost");
    EXPECT_TRUE(debug.contains("no class NoSuchControlUI for control ghost"));
    EXPECT_NE(wnd.find_control("real"), nullptr);
}

TEST_F(UiTest, RegisteringAgainReplacesTheCreator) {
    auto& factory = ControlFactory::instance();
    factory.regist_control("CSwapUI", [] { return new QLabel("old"); });
    factory.regist_control("cswapui", [] { return new QLabel("new"); });
    std::unique_ptr<QWidget> w(factory.create_control("Swap"));
    ASSERT_NE(qobject_cast<QLabel*>(w.get()), nullptr);
    EXPECT_EQ(qobject_cast<QLabel*>(w.get())->text(), "new");
    int swaps = 0;
    for (const QString& n : factory.registered())
        swaps += n.compare("CSwapUI", Qt::CaseInsensitive) == 0;
    EXPECT_EQ(swaps, 1);
    EXPECT_EQ(factory.create_control("NeverRegistered"), nullptr);
}

TEST_F(UiTest, NestedLayoutBuildsWithTheFactory) {
    layout(ui_widget("QLabel", "nested_label"), "XML/nested.xml");
    std::unique_ptr<QWidget> nested(platform::ui::Window::build_layout("XML\\nested.xml"));
    ASSERT_NE(nested, nullptr);
    EXPECT_NE(nested->findChild<QLabel*>("nested_label"), nullptr);
    EXPECT_EQ(platform::ui::Window::build_layout("XML\\absent.xml"), nullptr);
}

TEST_F(UiTest, StyleSheetUrlsBecomeAbsolute) {
    write_text(dir_ / "res.xml", "<Res><Style name=\"STYLE\" file=\"s.qss\"/></Res>");
    write_text(dir_ / "s.qss",
               "#a { border-image: url(common/x.png); } #b { image: url(/abs.png); }");
    Resources::instance().load_resource("res.xml");
    const QString sheet = Resources::instance().style_sheet();
    EXPECT_TRUE(
        sheet.contains(QString::fromStdString("url(" + dir_.path().string() + "/common/x.png)")));
    EXPECT_TRUE(sheet.contains("url(/abs.png)"));
}

}  // namespace
}  // namespace velqa::test
