#include "platform/ui/deferred_control.h"

#include <QVBoxLayout>

#include "platform/debug_output.h"
#include "platform/ui/controls.h"
#include "platform/ui/layout_builder.h"
#include "platform/ui/window.h"

namespace velqa::platform::ui {

DeferredControl::DeferredControl(const QMetaObject& type, Creator creator, QWidget* parent)
    : QWidget(parent), type_(type), creator_(std::move(creator)) {
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
}

QWidget* DeferredControl::control() {
    if (control_ != nullptr || building_ || !creator_)
        return control_;
    building_ = true;
    debug_printf("building %s", type_.className());
    QWidget* made = creator_();
    building_ = false;
    creator_ = nullptr;
    if (made == nullptr)
        return nullptr;
    control_ = made;
    // Code that looks controls up by their layout class finds the real one too.
    made->setProperty(kClassProperty, property(kClassProperty));
    layout()->addWidget(made);
    if (isVisible())
        made->show();
    if (Window* window = window_of(this))
        window->attach_controls(made);
    emit created(made);
    return made;
}

bool DeferredControl::build_all(QWidget* root) {
    if (root == nullptr)
        return false;
    QList<DeferredControl*> pending = root->findChildren<DeferredControl*>();
    if (auto* self = qobject_cast<DeferredControl*>(root))
        pending.prepend(self);
    bool built = false;
    for (DeferredControl* d : pending) {
        if (d->built() == nullptr && d->control() != nullptr)
            built = true;
    }
    return built;
}

void DeferredControl::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    control();
}

}  // namespace velqa::platform::ui
