#include "platform/ui/language.h"

#include <QXmlStreamReader>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/ui/resources.h"

namespace velqa::platform::ui {

LanguageTexts& LanguageTexts::instance() {
    static LanguageTexts texts;
    return texts;
}

void LanguageTexts::set_language(const QString& name) {
    std::lock_guard lock(mutex_);
    language_ = name;
}

QString LanguageTexts::language() const {
    std::lock_guard lock(mutex_);
    return language_;
}

bool LanguageTexts::parse(const std::filesystem::path& file, std::map<QString, QString>& out) {
    // The file is named by "Language.config": read it only if it is a regular file.
    std::string bytes;
    if (!read_whole_file(file, bytes))
        return false;
    QXmlStreamReader xml(QByteArray::fromStdString(bytes));
    std::map<QString, QString> texts;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"Text")
            continue;
        QString id = xml.attributes().value("id").toString();
        QString value = xml.readElementText();
        if (!id.isEmpty())
            texts[id] = value;
    }
    if (xml.hasError())
        return false;
    out = std::move(texts);
    return true;
}

bool LanguageTexts::load_language(const QString& file) {
    return load_language_file(Resources::instance().resolve(file));
}

bool LanguageTexts::load_language_file(const std::filesystem::path& file) {
    std::map<QString, QString> texts;
    if (!parse(file, texts)) {
        debug_printf("language file %s cannot be read", file.string().c_str());
        return false;
    }
    std::lock_guard lock(mutex_);
    texts_ = std::move(texts);
    return true;
}

QString LanguageTexts::text(const QString& id) const {
    {
        std::lock_guard lock(mutex_);
        if (auto it = texts_.find(id); it != texts_.end())
            return it->second;
    }
    debug_printf("no text for id %s", id.toUtf8().constData());
    return id;
}

bool LanguageTexts::has(const QString& id) const {
    std::lock_guard lock(mutex_);
    return texts_.count(id) != 0;
}

}  // namespace velqa::platform::ui
