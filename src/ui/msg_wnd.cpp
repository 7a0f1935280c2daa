#include "ui/msg_wnd.h"

#include <QTimer>

#include "platform/debug_output.h"
#include "platform/ui/accessibility.h"
#include "platform/ui/controls.h"

namespace velqa::ui {
namespace pui = platform::ui;

// Every notice goes through this window: a screen reader speaks it as an alert.
CMsgWnd::CMsgWnd(QWidget* owner) : Window(owner) {
    pui::set_alert(this);
}

void CMsgWnd::init_window() {
    close_button_ = find_control(QStringLiteral("closebtn"));
}

void CMsgWnd::notify(pui::Notification& msg) {
    if (msg.type != "click")
        return;
    const QString name = msg.sender_name();
    if (name.compare(QLatin1String("closebtn"), Qt::CaseInsensitive) == 0 ||
        name.compare(QLatin1String("cancel_btn"), Qt::CaseInsensitive) == 0) {
        close_window(0);
    } else if (name.compare(QLatin1String("confirm_btn"), Qt::CaseInsensitive) == 0) {
        close_window(1);
    }
}

void CMsgWnd::set_msg_dpi(int dpi) {
    if (dpi == msg_dpi_)
        return;
    if (is_valid_dpi(dpi)) {
        msg_dpi_ = dpi;
    } else {
        platform::debug_output("MSG_WND DPI SET ERROR");
        msg_dpi_ = 96;
    }
    set_all_dpi(msg_dpi_);
}

int show_message(QWidget* owner, const QString& title, const QString& text, int dpi, int text_is_id,
                 int buttons) {
    auto* wnd = new CMsgWnd(owner);
    wnd->create(QStringLiteral("msgwnd"), {}, true);
    if (!title.isEmpty())
        pui::set_text(wnd->find_control(QStringLiteral("MessageTitle")), title);
    if (!text.isEmpty()) {
        pui::set_text(wnd->find_control(QStringLiteral("MessageText")), text, text_is_id == 1);
    }
    wnd->set_msg_dpi(dpi);
    QWidget* confirm = wnd->find_control(QStringLiteral("confirm_btn"));
    QWidget* cancel = wnd->find_control(QStringLiteral("cancel_btn"));
    if (buttons == 0) {
        if (confirm != nullptr)
            confirm->setVisible(true);
        if (cancel != nullptr)
            cancel->setVisible(false);
    } else if (buttons == 1) {
        if (confirm != nullptr)
            confirm->setVisible(true);
        if (cancel != nullptr)
            cancel->setVisible(true);
    }
    // Read as one alert: the title, then the message.
    const QString shown_title = pui::text(wnd->find_control(QStringLiteral("MessageTitle")));
    wnd->setAccessibleName(shown_title.isEmpty() ? QStringLiteral("msgwnd") : shown_title);
    wnd->setAccessibleDescription(pui::text(wnd->find_control(QStringLiteral("MessageText"))));
    if (confirm != nullptr)
        confirm->setFocus(Qt::OtherFocusReason);
    wnd->center_window();
    // Once it shows, inside the modal run.
    QTimer::singleShot(0, wnd, [wnd] { pui::announce(wnd); });
    const int result = wnd->show_modal();
    delete wnd;
    return result;
}

namespace {
int dpi_of(QWidget* from) {
    platform::ui::Window* w = platform::ui::window_of(from);
    return w != nullptr ? w->dpi() : 96;
}
}  // namespace

bool ask_user(QWidget* from, const char* text_id) {
    return show_message(from->window(), QString(), QString::fromLatin1(text_id), dpi_of(from), 1,
                        1) == 1;
}

void tell_user(QWidget* from, const char* text_id) {
    show_message(from->window(), QString(), QString::fromLatin1(text_id), dpi_of(from), 1, 0);
}

}  // namespace velqa::ui
