#include "platform/ui/layout_builder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QPointer>
#include <QStringList>
#include <QUiLoader>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/resources.h"

namespace velqa::platform::ui {
namespace {

// QUiLoader loads every Designer plugin under the library paths as it is made, before
// clearPluginPaths() can stop it; Qt Quick's alone adds tens of megabytes and much of the
// start-up. The paths are left empty while a loader is made and given back at once. Changing
// them makes Qt look through its plugin folders again, so loaders are made rarely: each is
// kept for the next layout (one per level of layouts built inside a layout).
class WithoutLibraryPaths {
  protected:
    WithoutLibraryPaths() : saved_(QCoreApplication::libraryPaths()) {
        QCoreApplication::setLibraryPaths({});
    }
    void restore_library_paths() { QCoreApplication::setLibraryPaths(saved_); }

  private:
    QStringList saved_;
};

class Loader : private WithoutLibraryPaths, public QUiLoader {
  public:
    Loader() {
        restore_library_paths();
        // Designer plugins are not used: none is looked for later either.
        clearPluginPaths();
    }

    // What the next load reports to and asks.
    void begin(const LayoutBuilder::Callback* callback, const QString& layout,
               std::vector<QString>* unknown, std::vector<QString>* custom) {
        callback_ = callback;
        layout_ = layout;
        unknown_ = unknown;
        custom_ = custom;
    }

    QWidget* createWidget(const QString& class_name, QWidget* parent,
                          const QString& name) override {
        QWidget* w = (callback_ != nullptr && *callback_) ? (*callback_)(class_name) : nullptr;
        if (w == nullptr)
            w = ControlFactory::instance().create_control(class_name);
        if (w != nullptr) {
            if (parent != nullptr)
                w->setParent(parent);
            w->setObjectName(name);
            w->setProperty(kClassProperty, class_name);
            custom_->push_back(class_name);
            return w;
        }
        w = QUiLoader::createWidget(class_name, parent, name);
        if (w == nullptr) {
            unknown_->push_back(class_name + " " + name);
            debug_printf("layout %s: no class %s for control %s", layout_.toUtf8().constData(),
                         class_name.toUtf8().constData(), name.toUtf8().constData());
        }
        return w;
    }

  private:
    const LayoutBuilder::Callback* callback_ = nullptr;
    QString layout_;
    std::vector<QString>* unknown_ = nullptr;
    std::vector<QString>* custom_ = nullptr;
};

// Loaders not in use. They belong to the application object, so none outlives it.
std::vector<QPointer<Loader>>& idle_loaders() {
    static std::vector<QPointer<Loader>> idle;
    return idle;
}

Loader* take_loader() {
    auto& idle = idle_loaders();
    while (!idle.empty()) {
        QPointer<Loader> loader = idle.back();
        idle.pop_back();
        if (loader != nullptr)
            return loader;
    }
    auto* loader = new Loader;
    loader->setParent(QCoreApplication::instance());
    return loader;
}

}  // namespace

LayoutBuilder::LayoutBuilder(Callback callback) : callback_(std::move(callback)) {}

QWidget* LayoutBuilder::create(const QString& layout, QWidget* parent) {
    unknown_.clear();
    custom_.clear();
    const auto path = Resources::instance().resolve(layout);
    std::string bytes;
    if (!read_whole_file(path, bytes)) {
        debug_printf("layout %s: cannot open %s", layout.toUtf8().constData(),
                     path.string().c_str());
        return nullptr;
    }
    QBuffer file;
    file.setData(QByteArray::fromStdString(bytes));
    file.open(QIODevice::ReadOnly);
    Loader* loader = take_loader();
    loader->begin(&callback_, layout, &unknown_, &custom_);
    QWidget* root = loader->load(&file, parent);
    if (root == nullptr) {
        debug_printf("layout %s: %s", layout.toUtf8().constData(),
                     loader->errorString().toUtf8().constData());
    }
    loader->begin(nullptr, {}, nullptr, nullptr);
    idle_loaders().emplace_back(loader);
    return root;
}

}  // namespace velqa::platform::ui
