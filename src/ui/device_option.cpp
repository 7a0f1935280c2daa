#include "ui/device_option.h"

#include <QAbstractButton>
#include <QIcon>
#include <QVBoxLayout>

#include "platform/ui/accessibility.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/layout_builder.h"
#include "platform/ui/resources.h"
#include "platform/ui/window.h"

namespace velqa::ui {
namespace pui = platform::ui;

CDeviceOptionUI::CDeviceOptionUI(QWidget* parent) : QWidget(parent) {
    setProperty(pui::kClassProperty, QString::fromLatin1(kClassName));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (QWidget* root = pui::Window::build_layout(QString::fromLatin1(kLayout), this)) {
        layout->addWidget(root);
        setFixedSize(root->minimumSize());
    }
    auto find = [this](const char* name) {
        return pui::Window::find_sub_control_by_name(this, QString::fromLatin1(name));
    };
    option_ = find("device_select");
    sync_ = find("synchro_device_select");
    name_ = find("device_select_name");
    link_label_ = find("device_select_link");
    // The texts lie over the option: clicks on them select the tile.
    for (QWidget* label : {name_.data(), link_label_.data()}) {
        if (label != nullptr)
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    if (auto* button = qobject_cast<QAbstractButton*>(option_.data()))
        connect(button, &QAbstractButton::toggled, this, [this] { update_picture(); });
    if (auto* box = qobject_cast<QAbstractButton*>(sync_.data()))
        connect(box, &QAbstractButton::toggled, this, [this] { update_picture(); });
    // Not linked until the device manager shows it.
    hide();
}

bool CDeviceOptionUI::selected() const {
    return pui::is_selected(option_);
}

void CDeviceOptionUI::set_selected(bool on) {
    pui::set_selected(option_, on, false);
    update_picture();
}

bool CDeviceOptionUI::sync_on() const {
    return pui::is_selected(sync_);
}

void CDeviceOptionUI::set_sync(bool on) {
    pui::set_selected(sync_, on, false);
    update_picture();
}

void CDeviceOptionUI::set_images(const QString& normal, const QString& selected,
                                 const QString& sync_normal, const QString& sync_selected) {
    images_[0] = normal;
    images_[1] = selected;
    images_[2] = sync_normal;
    images_[3] = sync_selected;
    update_picture();
}

void CDeviceOptionUI::set_name_text_id(const QString& id) {
    pui::set_text_id(name_, id);
    // The tile is read by the device's name, which lies over it as a label.
    pui::set_accessible_name_id(option_, id);
}

void CDeviceOptionUI::set_link_text_id(const QString& id) {
    if (link_label_ == nullptr)
        return;
    if (id.isEmpty()) {
        pui::set_text(link_label_, QString());
        link_label_->hide();
        return;
    }
    pui::set_text_id(link_label_, id);
    link_label_->show();
}

void CDeviceOptionUI::update_picture() {
    auto* button = qobject_cast<QAbstractButton*>(option_.data());
    if (button == nullptr)
        return;
    const int which = (sync_on() ? 2 : 0) + (selected() ? 1 : 0);
    const QString& image = images_[which].isEmpty() ? images_[0] : images_[which];
    if (image.isEmpty())
        return;
    const auto file = pui::Resources::instance().resolve(image);
    button->setIcon(QIcon(QString::fromStdString(file.string())));
}

void register_device_option() {
    pui::ControlFactory::instance().regist_control(QStringLiteral("CDeviceOptionUI"),
                                                   [] { return new CDeviceOptionUI; });
}

}  // namespace velqa::ui
