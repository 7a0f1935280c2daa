// "Allow access" in the "no device" area: when a mouse is connected that this user may not
// open, one click runs the package's udev helper through pkexec (which asks for the password)
// and the device scan looks again, so the mouse appears without a re-plug.
#pragma once

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <functional>

#include "platform/access_helper.h"

namespace velqa::platform::ui {
class Window;
}

namespace velqa::app {

class AccessOffer : public QObject {
    Q_OBJECT

  public:
    // The button is `window`'s no_device_allow_btn, its status line no_device_allow_status.
    // `rescan` asks the device scan for a pass now.
    AccessOffer(platform::ui::Window& window, platform::AccessHelper helper,
                std::function<void()> rescan);
    ~AccessOffer() override;

    // The denied notice is shown or hidden: the button (and a status line with something to say)
    // follow it while the helper can run. Without pkexec or the installed helper the button
    // stays hidden and the notice's commands are the way.
    void update(bool denied_shown);
    // Runs the helper, once at a time, without waiting for it; false when it cannot run.
    bool start();
    bool running() const { return process_ != nullptr; }
    const platform::AccessHelper& helper() const { return helper_; }
    // The status line's text id (empty: none), for tests and scripts.
    const QString& status_id() const { return status_id_; }

  signals:
    // The helper ended; `ok`: it succeeded.
    void finished(bool ok);

  private:
    void on_finished(int exit_code, QProcess::ExitStatus status);
    void show_status(const QString& id, const QString& detail = {});

    platform::ui::Window& window_;
    platform::AccessHelper helper_;
    std::function<void()> rescan_;
    QProcess* process_ = nullptr;
    bool denied_shown_ = false;
    QString status_id_;
    QString status_detail_;
};

}  // namespace velqa::app
