// A stand-in for KWin's input devices on the session bus: the device list and, per device, the
// pointer properties a settings program may set.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <memory>
#include <vector>

namespace velqa::test {

class FakeKWinDevice : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.KWin.InputDevice")
    Q_PROPERTY(bool pointer READ pointer)
    Q_PROPERTY(double pointerAcceleration READ pointerAcceleration WRITE setPointerAcceleration)
    Q_PROPERTY(bool pointerAccelerationProfileFlat READ pointerAccelerationProfileFlat WRITE
                   setPointerAccelerationProfileFlat)

  public:
    explicit FakeKWinDevice(bool is_pointer) : pointer_(is_pointer) {}
    bool pointer() const { return pointer_; }
    double pointerAcceleration() const { return acceleration_; }
    void setPointerAcceleration(double v) {
        acceleration_ = v;
        ++sets_;
    }
    bool pointerAccelerationProfileFlat() const { return flat_; }
    void setPointerAccelerationProfileFlat(bool v) {
        flat_ = v;
        ++sets_;
    }
    // How many properties were set.
    int sets() const { return sets_; }

  private:
    bool pointer_;
    double acceleration_ = 0;
    bool flat_ = false;
    int sets_ = 0;
};

class FakeKWinManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.KWin.InputDeviceManager")
    Q_PROPERTY(QStringList devicesSysNames READ devicesSysNames)

  public:
    QStringList devicesSysNames() const { return names_; }
    QStringList names_;
};

class FakeKWin {
  public:
    // Owns "org.kde.KWin" on a connection of its own to the session bus; started() is false
    // when there is no session bus or the name is taken.
    FakeKWin();
    ~FakeKWin();
    FakeKWin(const FakeKWin&) = delete;
    FakeKWin& operator=(const FakeKWin&) = delete;

    bool started() const { return started_; }
    // A device "sys_name" (a pointer or not) in the list.
    FakeKWinDevice& add_device(const QString& sys_name, bool is_pointer);

  private:
    QDBusConnection bus_;
    bool started_ = false;
    FakeKWinManager manager_;
    std::vector<std::unique_ptr<FakeKWinDevice>> devices_;
};

}  // namespace velqa::test
