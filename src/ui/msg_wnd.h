// The one modal window through which the program asks questions and shows notices.
#pragma once

#include <QString>

#include "platform/ui/window.h"

namespace velqa::ui {

class CMsgWnd : public platform::ui::Window {
    Q_OBJECT

  public:
    explicit CMsgWnd(QWidget* owner);

    QString skin_file() const override { return QStringLiteral("XML_MSG"); }
    QString window_class_name() const override { return QStringLiteral("MsgWnd"); }

    // Accepts 48, 72, 96, 120, 144, 168, 192; anything else is reported ("MSG_WND DPI SET
    // ERROR") and replaced by 96. The value goes to every window of the process. Setting the
    // current value again does nothing.
    void set_msg_dpi(int dpi);
    int msg_dpi() const { return msg_dpi_; }

    QWidget* close_button() const { return close_button_; }

  protected:
    void init_window() override;
    void notify(platform::ui::Notification& msg) override;

  private:
    QWidget* close_button_ = nullptr;
    int msg_dpi_ = 96;
};

// Asks the user. `title` empty keeps the layout's title; `text` is a text id when `text_is_id`
// is 1. buttons 0: confirm only; 1: confirm and cancel; other: as the layout has them.
// Returns 1 when the user confirmed, 0 for cancel or close.
int show_message(QWidget* owner, const QString& title, const QString& text, int dpi, int text_is_id,
                 int buttons);
// The message of text id `text_id` over the window of control `from`, at that window's DPI:
// ask_user offers confirm and cancel and is true on confirm; tell_user only informs.
bool ask_user(QWidget* from, const char* text_id);
void tell_user(QWidget* from, const char* text_id);

}  // namespace velqa::ui
