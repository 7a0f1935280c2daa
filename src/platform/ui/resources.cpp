#include "platform/ui/resources.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"

namespace velqa::platform::ui {
namespace fs = std::filesystem;

Resources& Resources::instance() {
    static Resources resources;
    return resources;
}

void Resources::set_resource_path(const fs::path& root) {
    std::lock_guard lock(mutex_);
    root_ = root;
}

fs::path Resources::resource_path() const {
    std::lock_guard lock(mutex_);
    return root_;
}

bool Resources::load_resource(const QString& index_file) {
    std::map<QString, QString> entries;
    fs::path file = resource_path() / index_file.toStdString();
    std::string bytes;
    bool ok = read_whole_file(file, bytes);
    if (ok) {
        QXmlStreamReader xml(QByteArray::fromStdString(bytes));
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const auto attrs = xml.attributes();
            if (attrs.hasAttribute("name") && attrs.hasAttribute("file")) {
                entries[attrs.value("name").toString()] = attrs.value("file").toString();
            }
        }
        ok = !xml.hasError();
    }
    if (!ok) {
        debug_printf("resource index %s cannot be read", file.string().c_str());
        entries.clear();
    }
    std::lock_guard lock(mutex_);
    entries_ = std::move(entries);
    return ok;
}

fs::path Resources::resolve(const QString& name) const {
    std::lock_guard lock(mutex_);
    QString relative = name;
    if (auto it = entries_.find(name); it != entries_.end())
        relative = it->second;
    relative.replace('\\', '/');
    while (relative.startsWith('/'))
        relative.remove(0, 1);
    return root_ / relative.toStdString();
}

std::map<QString, QString> Resources::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

QString Resources::style_sheet() const {
    bool has_style = false;
    {
        std::lock_guard lock(mutex_);
        has_style = entries_.count("STYLE") != 0;
    }
    if (!has_style)
        return {};
    fs::path file = resolve("STYLE");
    std::string bytes;
    if (!read_whole_file(file, bytes))
        return {};
    QString sheet = QString::fromStdString(bytes);
    // Style sheets name images relative to the root; Qt wants them absolute.
    const QString root = QString::fromStdString(resource_path().string());
    static const QRegularExpression url(R"(url\((?!/)([^)]+)\))");
    sheet.replace(url, QStringLiteral("url(%1/\\1)").arg(root));
    return sheet;
}

QString image_path_from_attribute(const QString& attribute) {
    QString file = attribute.trimmed();
    if (file.isEmpty())
        return {};
    static const QRegularExpression quoted(R"(file='([^']*)')");
    if (auto m = quoted.match(file); m.hasMatch())
        file = m.captured(1);
    return QString::fromStdString(Resources::instance().resolve(file).string());
}

}  // namespace velqa::platform::ui
