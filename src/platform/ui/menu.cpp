#include "platform/ui/menu.h"

#include <QMenu>
#include <QXmlStreamReader>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/ui/language.h"
#include "platform/ui/resources.h"
#include "platform/ui/window.h"

namespace velqa::platform::ui {

std::unique_ptr<MenuCommand> take_menu_command(WParam wparam) {
    return std::unique_ptr<MenuCommand>(reinterpret_cast<MenuCommand*>(wparam));
}

QMenu* build_menu(const QString& menu_file, Window* owner) {
    const auto path = Resources::instance().resolve(menu_file);
    std::string bytes;
    if (!read_whole_file(path, bytes)) {
        debug_printf("menu %s cannot be read", path.string().c_str());
        return nullptr;
    }
    auto* menu = new QMenu(owner);
    menu->setObjectName(QStringLiteral("menu"));
    // An element becomes a submenu once a child element shows up inside it, a plain item when
    // it closes without one.
    struct Open {
        QMenu* parent;
        QString name, text, data;
        bool checkable;
        QMenu* sub = nullptr;
    };
    std::vector<Open> open;
    auto current = [&]() -> QMenu* {
        if (open.empty())
            return menu;
        Open& o = open.back();
        if (o.sub == nullptr) {
            o.sub = o.parent->addMenu(o.text);
            o.sub->setObjectName(o.name);
        }
        return o.sub;
    };
    QXmlStreamReader xml(QByteArray::fromStdString(bytes));
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == u"MenuElement") {
            if (open.empty())
                continue;
            const Open o = open.back();
            open.pop_back();
            if (o.sub != nullptr)
                continue;
            QAction* action = o.parent->addAction(o.text);
            action->setObjectName(o.name);
            action->setCheckable(o.checkable);
            QObject::connect(action, &QAction::triggered, menu,
                             [owner, name = o.name, text = o.text, data = o.data](bool on) {
                                 if (owner == nullptr)
                                     return;
                                 auto* cmd = new MenuCommand{name, data, text, on};
                                 owner->post_message(kMsgMenuCommand, reinterpret_cast<WParam>(cmd),
                                                     0);
                             });
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const auto attrs = xml.attributes();
        if (xml.name() == u"Separator") {
            current()->addSeparator();
        } else if (xml.name() == u"MenuElement") {
            QMenu* parent = current();
            open.push_back({parent, attrs.value("name").toString(),
                            LanguageTexts::instance().text(attrs.value("textId").toString()),
                            attrs.value("userData").toString(),
                            attrs.value("checkable") == u"true"});
        }
    }
    if (xml.hasError()) {
        debug_printf("menu %s: %s", path.string().c_str(), xml.errorString().toUtf8().constData());
        delete menu;
        return nullptr;
    }
    return menu;
}

QMenu* popup_menu(const QString& menu_file, Window* owner, QPoint global_pos) {
    QMenu* menu = build_menu(menu_file, owner);
    if (menu == nullptr)
        return nullptr;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(global_pos);
    return menu;
}

}  // namespace velqa::platform::ui
