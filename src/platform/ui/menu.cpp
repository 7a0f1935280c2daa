#include "platform/ui/menu.h"

#include <QMenu>
#include <QXmlStreamReader>

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
    QXmlStreamReader xml(QByteArray::fromStdString(bytes));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto attrs = xml.attributes();
        if (xml.name() == u"Separator") {
            menu->addSeparator();
        } else if (xml.name() == u"MenuElement") {
            const QString name = attrs.value("name").toString();
            const QString text = LanguageTexts::instance().text(attrs.value("textId").toString());
            const QString data = attrs.value("userData").toString();
            QAction* action = menu->addAction(text);
            action->setObjectName(name);
            if (attrs.value("checkable") == u"true")
                action->setCheckable(true);
            QObject::connect(action, &QAction::triggered, menu, [owner, name, text, data](bool on) {
                if (owner == nullptr)
                    return;
                auto* cmd = new MenuCommand{name, data, text, on};
                owner->post_message(kMsgMenuCommand, reinterpret_cast<WParam>(cmd), 0);
            });
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
