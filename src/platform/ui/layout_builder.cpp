#include "platform/ui/layout_builder.h"

#include <QBuffer>
#include <QUiLoader>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/resources.h"

namespace velqa::platform::ui {
namespace {

class Loader : public QUiLoader {
  public:
    Loader(const LayoutBuilder::Callback& callback, const QString& layout,
           std::vector<QString>& unknown, std::vector<QString>& custom)
        : callback_(callback), layout_(layout), unknown_(unknown), custom_(custom) {
        // Designer plugins are not used; skipping the plugin scan keeps start-up fast.
        clearPluginPaths();
    }

    QWidget* createWidget(const QString& class_name, QWidget* parent,
                          const QString& name) override {
        QWidget* w = callback_ ? callback_(class_name) : nullptr;
        if (w == nullptr)
            w = ControlFactory::instance().create_control(class_name);
        if (w != nullptr) {
            if (parent != nullptr)
                w->setParent(parent);
            w->setObjectName(name);
            w->setProperty(kClassProperty, class_name);
            custom_.push_back(class_name);
            return w;
        }
        w = QUiLoader::createWidget(class_name, parent, name);
        if (w == nullptr) {
            unknown_.push_back(class_name + " " + name);
            debug_printf("layout %s: no class %s for control %s", layout_.toUtf8().constData(),
                         class_name.toUtf8().constData(), name.toUtf8().constData());
        }
        return w;
    }

  private:
    const LayoutBuilder::Callback& callback_;
    QString layout_;
    std::vector<QString>& unknown_;
    std::vector<QString>& custom_;
};

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
    Loader loader(callback_, layout, unknown_, custom_);
    QWidget* root = loader.load(&file, parent);
    if (root == nullptr) {
        debug_printf("layout %s: %s", layout.toUtf8().constData(),
                     loader.errorString().toUtf8().constData());
    }
    return root;
}

}  // namespace velqa::platform::ui
