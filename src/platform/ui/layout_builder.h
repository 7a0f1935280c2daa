// Builds widget trees from Qt Designer XML layouts under the resource root. Custom classes come
// from a builder callback first, then from the control factory, then from Qt's own classes; a
// class nobody can create is reported, not silently dropped.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

namespace velqa::platform::ui {

// Property set on every control our callback or factory created: its layout class name.
inline constexpr char kClassProperty[] = "velqaClass";

class LayoutBuilder {
  public:
    // Returns a new control for a class name, or nullptr to fall through.
    using Callback = std::function<QWidget*(const QString& class_name)>;

    explicit LayoutBuilder(Callback callback = {});

    // Builds the layout named `layout` (a resource index name such as "XML_MAIN" or a path such as
    // "XML\\CustomControlXML\\DeviceProfile.xml") as a child of `parent`. Returns the root widget,
    // or nullptr (with a debug line) when the file is missing or malformed; error() then says why.
    QWidget* create(const QString& layout, QWidget* parent = nullptr);

    // Why the last create() built nothing, naming the file; empty after a build that succeeded.
    const QString& error() const { return error_; }

    // "Class name" entries that could not be created in the last build ("Class object_name").
    const std::vector<QString>& unknown_classes() const { return unknown_; }
    // Class names our callback or the factory created in the last build, in creation order.
    const std::vector<QString>& custom_classes() const { return custom_; }

  private:
    Callback callback_;
    std::vector<QString> unknown_;
    std::vector<QString> custom_;
    QString error_;
};

}  // namespace velqa::platform::ui
