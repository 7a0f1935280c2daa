// Creators of our custom controls by class name, for the layout builder.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace velqa::platform::ui {

class ControlFactory {
  public:
    using Creator = std::function<QWidget*()>;

    static ControlFactory& instance();

    // Registers (or replaces) the creator of a class. Names are compared ignoring case.
    void regist_control(const QString& class_name, Creator creator);

    // A new control for a layout class name, or nullptr. A layout tag T also finds the classes
    // registered as "CTUI" and "CT" (a layout says "CircleProgress" for CCircleProgressUI).
    QWidget* create_control(const QString& class_name) const;

    bool is_registered(const QString& class_name) const;
    // Registered names in registration order.
    std::vector<QString> registered() const;

  private:
    const Creator* find(const QString& class_name) const;

    mutable std::mutex mutex_;
    std::vector<QString> order_;
    std::map<QString, Creator> creators_;  // key: lower-case name
};

}  // namespace velqa::platform::ui
