#include "platform/ui/qt_test_app.h"

#include <fstream>

#include "platform/ui/language.h"
#include "platform/ui/resources.h"
#include "support/temp_dir.h"

namespace velqa::test {

bool load_shipped_skin() {
    auto& res = platform::ui::Resources::instance();
    res.set_resource_path(source_dir() / "skin");
    return res.load_resource(QStringLiteral("res.xml")) &&
           platform::ui::LanguageTexts::instance().load_language(QStringLiteral("lan_en.xml"));
}

void write_text(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << text;
}

std::string ui_layout(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ui version=\"4.0\"><class>T</class>"
           "<widget class=\"QWidget\" name=\"root\"><layout class=\"QVBoxLayout\" "
           "name=\"root_layout\">" +
           body + "</layout></widget></ui>\n";
}

std::string ui_widget(const std::string& cls, const std::string& name,
                      const std::string& properties) {
    return "<item><widget class=\"" + cls + "\" name=\"" + name + "\">" + properties +
           "</widget></item>";
}

}  // namespace velqa::test
