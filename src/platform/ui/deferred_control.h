// A control built the first time it is shown or asked for. The editors of a page the user may
// never open then cost neither the time to build them nor the memory of their widgets and
// style-sheet caches.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

namespace velqa::platform::ui {

class DeferredControl : public QWidget {
    Q_OBJECT

  public:
    using Creator = std::function<QWidget*()>;

    // `type` is the class `creator` makes (so that it can be found before it exists).
    DeferredControl(const QMetaObject& type, Creator creator, QWidget* parent = nullptr);

    const QMetaObject& type() const { return type_; }
    // The control, built now if it was not yet; nullptr only when the creator made nothing.
    QWidget* control();
    // The control if it has been built, else nullptr.
    QWidget* built() const { return control_; }

    // The control of type T under `root`: one built already, or else (with `build`) the first
    // deferred one of that type, built now.
    template <class T>
    static T* find(QWidget* root, bool build) {
        if (root == nullptr)
            return nullptr;
        if (T* found = root->findChild<T*>())
            return found;
        if (!build)
            return nullptr;
        for (DeferredControl* d : root->findChildren<DeferredControl*>()) {
            if (d->built() == nullptr && d->type().inherits(&T::staticMetaObject))
                return qobject_cast<T*>(d->control());
        }
        return nullptr;
    }
    // Whether `root` holds a control of type T, built or not.
    template <class T>
    static bool holds(QWidget* root) {
        if (root == nullptr)
            return false;
        if (root->findChild<T*>() != nullptr)
            return true;
        for (DeferredControl* d : root->findChildren<DeferredControl*>()) {
            if (d->type().inherits(&T::staticMetaObject))
                return true;
        }
        return false;
    }
    // Builds every deferred control under `root` (root included); true when it built one.
    static bool build_all(QWidget* root);

  signals:
    // The control was just built, and wired into its window if it has one.
    void created(QWidget* control);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    const QMetaObject& type_;
    Creator creator_;
    QPointer<QWidget> control_;
    bool building_ = false;
};

}  // namespace velqa::platform::ui
