// The about pane (the main window's About tab) and the about window the tray opens: one widget
// built from one layout, so that the two never drift apart. It shows the program, its licence,
// the devices linked now, the data folder and the project's page, and copies a diagnostic
// report to the clipboard.
#pragma once

#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/ui/window.h"

namespace velqa::ui {

// The language message the main window sends its open auxiliary windows.
inline constexpr unsigned kMsgAboutLanguage = 0xC11;

// Where the pane's facts come from; asked each time the pane is refreshed or the report copied.
struct AboutSource {
    std::function<std::vector<platform::LinkedDeviceFacts>()> devices;
    // Everything the report holds but Qt's version, which the pane adds.
    std::function<platform::DiagnosticFacts()> facts;
    std::filesystem::path data_folder;
    std::string project_page;  // empty: none is configured
};

class AboutPanel : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kClassName = "AboutPanel";
    static constexpr const char* kLayout = "XML\\about.xml";

    explicit AboutPanel(QWidget* parent = nullptr);

    void set_source(AboutSource source);
    // Shows the current facts in the current language.
    void refresh();
    // The pane's own clicks; false for a control that is not the pane's.
    bool on_notify(const platform::ui::Notification& msg);
    // Builds the report and puts it on the clipboard; returns it.
    QString copy_report();

  private:
    QWidget* find(const QString& name) const;
    void say(const char* text_id);

    AboutSource source_;
    platform::ui::ControlCache controls_;
};

class CAboutWnd : public platform::ui::Window {
    Q_OBJECT

  public:
    CAboutWnd(QWidget* owner, AboutSource source);

    QString skin_file() const override { return QStringLiteral("XML\\aboutwnd.xml"); }
    QString window_class_name() const override { return QStringLiteral("AboutWnd"); }
    QString title_text_id() const override { return QStringLiteral("window_title_about_text"); }

    AboutPanel* panel() const { return panel_; }

  protected:
    void init_window() override;
    void notify(platform::ui::Notification& msg) override;
    platform::ui::LResult handle_custom_message(unsigned message, platform::ui::WParam wparam,
                                                platform::ui::LParam lparam,
                                                bool& handled) override;

  private:
    AboutSource source_;
    AboutPanel* panel_ = nullptr;
};

// Registers the pane's class with the control factory ("AboutPanel" in layouts).
void register_about_panel();

}  // namespace velqa::ui
