// A stand-in for KWin on the session bus: its input devices (the device list and, per device,
// the pointer properties a settings program may set) and its scripting interface (scripts
// loaded, run and unloaded, and the callback a running script makes when a window is
// activated).
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace velqa::test {

class FakeKWinDevice : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.KWin.InputDevice")
    Q_PROPERTY(bool pointer READ pointer)
    Q_PROPERTY(QString name READ name)
    Q_PROPERTY(uint vendor READ vendor)
    Q_PROPERTY(uint product READ product)
    Q_PROPERTY(double pointerAcceleration READ pointerAcceleration WRITE setPointerAcceleration)
    Q_PROPERTY(bool pointerAccelerationProfileFlat READ pointerAccelerationProfileFlat WRITE
                   setPointerAccelerationProfileFlat)

  public:
    explicit FakeKWinDevice(bool is_pointer, QString name = {}, uint vendor = 0, uint product = 0)
        : pointer_(is_pointer), name_(std::move(name)), vendor_(vendor), product_(product) {}
    bool pointer() const { return pointer_; }
    QString name() const { return name_; }
    uint vendor() const { return vendor_; }
    uint product() const { return product_; }
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
    QString name_;
    uint vendor_;
    uint product_;
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

  signals:
    void deviceAdded(const QString& sysName);
};

class FakeKWinScript : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Script")

  public:
    explicit FakeKWinScript(std::function<void()> on_run) : on_run_(std::move(on_run)) {}

  public slots:
    void run() { on_run_(); }

  private:
    std::function<void()> on_run_;
};

class FakeKWinScripting : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Scripting")

  public:
    std::function<int(const QString&, const QString&)> on_load;
    std::function<bool(const QString&)> on_unload;

  public slots:
    int loadScript(const QString& path, const QString& plugin) { return on_load(path, plugin); }
    bool unloadScript(const QString& plugin) { return on_unload(plugin); }
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
    // A device "sys_name" (a pointer or not) in the list, with the name and USB IDs KWin reports.
    FakeKWinDevice& add_device(const QString& sys_name, bool is_pointer, const QString& name = {},
                               uint vendor = 0, uint product = 0);
    // As add_device, and announced as KWin announces a device plugged in.
    FakeKWinDevice& plug(const QString& sys_name, bool is_pointer, const QString& name, uint vendor,
                         uint product);

    // Scripting calls in order: "load PLUGIN", "run ID", "unload PLUGIN".
    const QStringList& scripting_calls() const { return calls_; }
    // The text of the script loaded as `plugin`, read when it was loaded; empty when none is.
    QString script(const QString& plugin) const;
    // Plays what a running script `plugin` does when a window of `resource_class` becomes
    // active: the call it names (callDBus with service, path and interface from its variables).
    // False when that script is not loaded and run.
    bool activate(const QString& plugin, const QString& resource_class);

  private:
    struct LoadedScript {
        int id = 0;
        QString text;
        bool running = false;
        std::unique_ptr<FakeKWinScript> object;
    };
    int load(const QString& path, const QString& plugin);
    bool unload(const QString& plugin);

    FakeKWinScripting scripting_;
    std::map<QString, LoadedScript> scripts_;
    QStringList calls_;
    int next_id_ = 0;

    QDBusConnection bus_;
    bool started_ = false;
    FakeKWinManager manager_;
    std::vector<std::unique_ptr<FakeKWinDevice>> devices_;
};

}  // namespace velqa::test
