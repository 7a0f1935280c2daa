#include "platform/ui/control_factory.h"

namespace velqa::platform::ui {

ControlFactory& ControlFactory::instance() {
    static ControlFactory factory;
    return factory;
}

void ControlFactory::regist_control(const QString& class_name, Creator creator) {
    if (class_name.isEmpty() || !creator)
        return;
    std::lock_guard lock(mutex_);
    const QString key = class_name.toLower();
    if (creators_.count(key) == 0)
        order_.push_back(class_name);
    creators_[key] = std::move(creator);
}

const ControlFactory::Creator* ControlFactory::find(const QString& class_name) const {
    const QString key = class_name.toLower();
    for (const QString& candidate : {key, QStringLiteral("c%1ui").arg(key), "c" + key}) {
        if (auto it = creators_.find(candidate); it != creators_.end())
            return &it->second;
    }
    return nullptr;
}

QWidget* ControlFactory::create_control(const QString& class_name) const {
    Creator creator;
    {
        std::lock_guard lock(mutex_);
        const Creator* found = find(class_name);
        if (found == nullptr)
            return nullptr;
        creator = *found;
    }
    // Called without the lock: a creator may itself build a layout that uses the factory.
    return creator();
}

bool ControlFactory::is_registered(const QString& class_name) const {
    std::lock_guard lock(mutex_);
    return find(class_name) != nullptr;
}

std::vector<QString> ControlFactory::registered() const {
    std::lock_guard lock(mutex_);
    return order_;
}

}  // namespace velqa::platform::ui
