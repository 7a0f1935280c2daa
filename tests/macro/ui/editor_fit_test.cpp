// The key and macro editors under the shipped theme at the size their tab gives them in a window
// of the normal size: everything reachable without scrolling, and the page's dark background
// showing through their scroll areas.
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <memory>
#include <string>
#include <vector>

#include "macro/ui/keyset_control.h"
#include "macro/ui/macro_control.h"
#include "platform/ui/language.h"
#include "platform/ui/qt_test_app.h"
#include "platform/ui/resources.h"
#include "platform/ui/window.h"
#include "ui/custom_controls.h"

#include <gtest/gtest.h>

namespace velqa::test {
namespace {

namespace pui = platform::ui;

// Holds an editor the way a page does, so that its texts and fonts are applied.
class Host : public pui::Window {
  public:
    QString skin_file() const override { return QStringLiteral("XML_MSG"); }
};

// The area the Buttons and Macros tabs leave an editor at the window's normal size.
constexpr int kTabWidth = 690;
constexpr int kTabHeight = 450;

class EditorFit : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        qt_app();
        ASSERT_TRUE(load_shipped_skin());
        pui::Window::set_all_dpi(96);
        ui::register_custom_controls();
        macro::register_macro_controls();
        macro::register_keyset_controls();
        // Paddings and borders of the theme take part in every size.
        qt_app().setStyleSheet(pui::Resources::instance().style_sheet());
    }
    static void TearDownTestSuite() { qt_app().setStyleSheet(QString()); }

    void SetUp() override {
        host_ = std::make_unique<Host>();
        host_->create("t", {}, true);
    }

    // Shows `editor` alone at the tab's size, texts and fonts applied, and returns its scroll
    // area once laid out.
    QScrollArea* lay_out(QWidget& editor, const char* scroll_name) {
        page_ = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(page_.get());
        layout->setContentsMargins(0, 0, 0, 0);
        editor.setParent(page_.get());
        layout->addWidget(&editor);
        host_->attach_controls(page_.get());
        page_->resize(kTabWidth, kTabHeight);
        page_->show();
        auto* scroll = editor.findChild<QScrollArea*>(QString::fromLatin1(scroll_name));
        if (scroll == nullptr || scroll->widget() == nullptr)
            return scroll;
        wait_until([&] { return scroll->widget()->isVisible() && editor.size() == page_->size(); });
        QCoreApplication::processEvents();
        return scroll;
    }

    std::unique_ptr<Host> host_;
    std::unique_ptr<QWidget> page_;

    static void expect_fits(QScrollArea* scroll) {
        ASSERT_NE(scroll, nullptr);
        ASSERT_NE(scroll->widget(), nullptr);
        const QSize needed = scroll->widget()->minimumSizeHint();
        EXPECT_LE(needed.width(), kTabWidth) << "minimum width " << needed.width();
        EXPECT_LE(needed.height(), kTabHeight) << "minimum height " << needed.height();
        EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
        EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
    }

    static void expect_see_through(QScrollArea* scroll) {
        ASSERT_NE(scroll, nullptr);
        EXPECT_FALSE(scroll->viewport()->autoFillBackground());
        ASSERT_NE(scroll->widget(), nullptr);
        EXPECT_FALSE(scroll->widget()->autoFillBackground());
    }
};

std::vector<std::string>& qt_warnings() {
    static std::vector<std::string> seen;
    return seen;
}

// Qt drops every rule after a syntax error, with only a warning to show for it.
TEST_F(EditorFit, TheThemeParsesToTheEnd) {
    qt_warnings().clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            qt_warnings().push_back(text.toStdString());
        });
    qt_app().setStyleSheet(QString());
    qt_app().setStyleSheet(pui::Resources::instance().style_sheet());
    QWidget probe;
    probe.ensurePolished();
    qInstallMessageHandler(previous);
    for (const std::string& text : qt_warnings())
        EXPECT_EQ(text.find("stylesheet"), std::string::npos) << text;
}

// Both languages: the Chinese texts are shorter but taller, the English ones wider.
constexpr const char* kLanguages[] = {"lan_en.xml", "lan_cn.xml"};

TEST_F(EditorFit, TheKeyEditorFitsItsTabAndShowsThePageBehindIt) {
    for (const char* language : kLanguages) {
        SCOPED_TRACE(language);
        ASSERT_TRUE(pui::LanguageTexts::instance().load_language(QString::fromLatin1(language)));
        auto& editor = *new macro::CKeySetControlUI;
        QScrollArea* scroll = lay_out(editor, "KeySetControl_scroll");
        expect_fits(scroll);
        expect_see_through(scroll);
        // The footer stays inside the card, also when a fixed key hides the editing part.
        QWidget* card = editor.control(QStringLiteral("keyset_card"));
        ASSERT_NE(card, nullptr);
        for (const char* name : {"keyset_layout", "keyset_locked_hint", "keyset_footer"}) {
            QWidget* part = editor.control(QString::fromLatin1(name));
            ASSERT_NE(part, nullptr) << name;
            EXPECT_TRUE(card->isAncestorOf(part)) << name;
        }
    }
    pui::LanguageTexts::instance().load_language(QStringLiteral("lan_en.xml"));
}

TEST_F(EditorFit, TheMacroEditorFitsItsTabAndShowsThePageBehindIt) {
    for (const char* language : kLanguages) {
        SCOPED_TRACE(language);
        ASSERT_TRUE(pui::LanguageTexts::instance().load_language(QString::fromLatin1(language)));
        auto& editor = *new macro::CMacroControlUI;
        QScrollArea* scroll = lay_out(editor, "MacroControl_scroll");
        expect_fits(scroll);
        expect_see_through(scroll);
        QWidget* list_column = editor.control(QStringLiteral("macro_name_tab"));
        ASSERT_NE(list_column, nullptr);
        EXPECT_LE(list_column->width(), 200);
    }
    pui::LanguageTexts::instance().load_language(QStringLiteral("lan_en.xml"));
    page_.reset();
}

// A tab page is laid out only when it is shown; a render straight after that (a screenshot)
// must not show the scroll bars the editor had while it was hidden at its first, tiny size.
TEST_F(EditorFit, AnEditorRenderedAsSoonAsItsTabIsShownHasNoStaleScrollBars) {
    page_ = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(page_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    auto* tabs = new QStackedWidget(page_.get());
    layout->addWidget(tabs);
    tabs->addWidget(new QWidget);
    auto* keys = new macro::CKeySetControlUI;
    auto* macros = new macro::CMacroControlUI;
    tabs->addWidget(keys);
    tabs->addWidget(macros);
    host_->attach_controls(page_.get());
    page_->resize(kTabWidth, kTabHeight);
    page_->show();
    ASSERT_TRUE(wait_until([&] { return tabs->widget(0)->isVisible(); }));
    QCoreApplication::processEvents();
    for (QWidget* editor : {static_cast<QWidget*>(keys), static_cast<QWidget*>(macros)}) {
        tabs->setCurrentWidget(editor);
        (void)page_->grab();
        auto* scroll = editor->findChild<QScrollArea*>();
        ASSERT_NE(scroll, nullptr);
        EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible())
            << scroll->objectName().toStdString();
        EXPECT_FALSE(scroll->verticalScrollBar()->isVisible())
            << scroll->objectName().toStdString();
    }
}

}  // namespace
}  // namespace velqa::test
