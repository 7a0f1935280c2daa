#include "app/access_offer.h"

#include <QWidget>

#include "platform/debug_output.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/window.h"

namespace velqa::app {

namespace pui = platform::ui;

namespace {

// pkexec's own failures: 126 the prompt was dismissed, 127 not authorised or no agent to ask
// (which pkexec tells apart only in its message).
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorised = 127;

bool no_authentication_agent(const QByteArray& errors) {
    return errors.contains("No authentication agent");
}
// A line of the helper's stderr is enough to say why; more would not fit the area.
constexpr int kMaxDetail = 200;

// The last non-empty line of a failed run's stderr.
QString last_line(const QByteArray& output) {
    const QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'));
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString line = it->trimmed();
        if (!line.isEmpty())
            return line.left(kMaxDetail);
    }
    return {};
}

}  // namespace

AccessOffer::AccessOffer(pui::Window& window, platform::AccessHelper helper,
                         std::function<void()> rescan)
    : window_(window), helper_(std::move(helper)), rescan_(std::move(rescan)) {}

AccessOffer::~AccessOffer() {
    if (process_ == nullptr)
        return;
    process_->disconnect(this);
    // Once pkexec has become root it cannot be killed from here; waiting for it could hold the
    // program's exit for as long as udev takes, so a helper still running is left to finish.
    process_->kill();
    if (!process_->waitForFinished(500)) {
        process_->setParent(nullptr);
        process_ = nullptr;  // left to finish on its own
    }
}

void AccessOffer::update(bool denied_shown) {
    denied_shown_ = denied_shown;
    // What the last run said belongs to that denial; the next one starts without it.
    if (!denied_shown && !running())
        status_id_.clear();
    const bool offered = denied_shown && helper_.available();
    if (QWidget* button = window_.find_control(QStringLiteral("no_device_allow_btn"))) {
        button->setVisible(offered);
        button->setEnabled(!running());
    }
    if (QWidget* status = window_.find_control(QStringLiteral("no_device_allow_status")))
        status->setVisible(offered && !status_id_.isEmpty());
}

bool AccessOffer::start() {
    if (running() || !helper_.available())
        return false;
    process_ = new QProcess(this);
    process_->setProgram(QString::fromStdString(helper_.runner.string()));
    process_->setArguments({QString::fromStdString(helper_.helper.string())});
    process_->setStandardOutputFile(QProcess::nullDevice());
    process_->setStandardInputFile(QProcess::nullDevice());
    connect(process_, &QProcess::finished, this, &AccessOffer::on_finished);
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            on_finished(-1, QProcess::CrashExit);
    });
    show_status(QStringLiteral("no_device_allow_busy_text"));
    process_->start();
    update(denied_shown_);
    return true;
}

void AccessOffer::on_finished(int exit_code, QProcess::ExitStatus status) {
    if (process_ == nullptr)
        return;
    QProcess* process = process_;
    process_ = nullptr;
    const bool failed_to_start = process->error() == QProcess::FailedToStart;
    const QByteArray errors = failed_to_start ? QByteArray() : process->readAllStandardError();
    process->deleteLater();
    const bool ok = status == QProcess::NormalExit && exit_code == 0;
    if (ok) {
        show_status(QStringLiteral("no_device_allow_done_text"));
        if (rescan_)
            rescan_();
    } else if (failed_to_start) {
        show_status(QStringLiteral("no_device_allow_failed_text"),
                    QString::fromStdString(helper_.runner.string()) + QStringLiteral(": ") +
                        process->errorString());
    } else if (status == QProcess::NormalExit && exit_code == kPkexecNotAuthorised &&
               no_authentication_agent(errors)) {
        // Nobody could be asked for the password: not a refusal, and the user can mend it.
        show_status(QStringLiteral("no_device_allow_no_agent_text"),
                    QString::fromStdString(helper_.helper.string()));
    } else if (status == QProcess::NormalExit &&
               (exit_code == kPkexecDismissed || exit_code == kPkexecNotAuthorised)) {
        show_status(QStringLiteral("no_device_allow_refused_text"));
    } else {
        QString why = last_line(errors);
        if (why.isEmpty())
            why = status == QProcess::NormalExit ? QStringLiteral("exit code %1").arg(exit_code)
                                                 : QStringLiteral("the helper crashed");
        show_status(QStringLiteral("no_device_allow_failed_text"), why);
    }
    platform::debug_printf("allow access: %s ended, %s", helper_.helper.c_str(),
                           ok ? "done" : status_detail_.toUtf8().constData());
    update(denied_shown_);
    emit finished(ok);
}

void AccessOffer::show_status(const QString& id, const QString& detail) {
    status_id_ = id;
    status_detail_ = detail;
    QWidget* status = window_.find_control(QStringLiteral("no_device_allow_status"));
    if (status == nullptr)
        return;
    if (detail.isEmpty()) {
        pui::set_text_id(status, id);
    } else {
        // The reason is the helper's own (English) words; the sentence around it is ours.
        pui::set_text(status, pui::LanguageTexts::instance().text(id).arg(detail));
    }
}

}  // namespace velqa::app
