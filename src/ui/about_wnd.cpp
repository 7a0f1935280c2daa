#include "ui/about_wnd.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/debug_output.h"
#include "platform/number_text.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/desktop.h"
#include "platform/ui/language.h"

namespace velqa::ui {
namespace pui = platform::ui;

namespace {

QString tr_id(const char* id) {
    return pui::LanguageTexts::instance().text(QString::fromLatin1(id));
}

bool is_name(const QString& name, const char* candidate) {
    return name.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0;
}

QString device_line(const platform::LinkedDeviceFacts& d) {
    const QString link =
        tr_id(d.link == "cable" ? "tile_link_cable_text" : "tile_link_receiver_text");
    QStringList firmware;
    for (const std::string& f : d.firmware)
        firmware << QString::fromStdString(f);
    return tr_id("about_device_line_text")
        .arg(QString::fromStdString(d.name), link,
             QString::fromStdString(platform::usb_ids_text(d.vendor_id, d.product_id)),
             firmware.isEmpty() ? tr_id("about_firmware_unknown_text")
                                : firmware.join(QStringLiteral(", ")));
}

}  // namespace

AboutPanel::AboutPanel(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (QWidget* content = pui::Window::build_layout(QString::fromLatin1(kLayout), this))
        layout->addWidget(content);
}

QWidget* AboutPanel::find(const QString& name) const {
    return controls_.find(const_cast<AboutPanel*>(this), name);
}

void AboutPanel::set_source(AboutSource source) {
    source_ = std::move(source);
    refresh();
}

void AboutPanel::refresh() {
    pui::set_text(
        find(QStringLiteral("about_version")),
        tr_id("about_version_text").arg(QString::fromLatin1(platform::program_version())));
    QStringList lines;
    if (source_.devices) {
        for (const platform::LinkedDeviceFacts& d : source_.devices())
            lines << device_line(d);
    }
    pui::set_text(find(QStringLiteral("about_devices")),
                  lines.isEmpty() ? tr_id("about_no_device_text") : lines.join(QLatin1Char('\n')));
    pui::set_text(find(QStringLiteral("about_data_folder")),
                  QString::fromStdString(source_.data_folder.string()));
    QWidget* project = find(QStringLiteral("about_project_btn"));
    if (project != nullptr) {
        // Without an address the button would lead nowhere: it says why instead.
        const bool configured = !source_.project_page.empty();
        project->setEnabled(configured);
        pui::set_tool_tip_id(project, QString::fromLatin1(configured ? "about_project_tip_text"
                                                                     : "about_no_project_text"));
    }
}

bool AboutPanel::on_notify(const pui::Notification& msg) {
    if (msg.type != "click")
        return false;
    const QString name = msg.sender_name();
    if (is_name(name, "about_copy_report_btn")) {
        copy_report();
    } else if (is_name(name, "about_open_folder_btn")) {
        std::error_code ec;
        std::filesystem::create_directories(source_.data_folder, ec);
        const QUrl folder =
            QUrl::fromLocalFile(QString::fromStdString(source_.data_folder.string()));
        if (!platform::open_url(folder.toString(QUrl::FullyEncoded).toStdString()))
            say("about_open_failed_text");
    } else if (is_name(name, "about_project_btn")) {
        if (source_.project_page.empty()) {
            say("about_no_project_text");
        } else if (!platform::open_url(source_.project_page)) {
            say("about_open_failed_text");
        }
    } else {
        return false;
    }
    return true;
}

QString AboutPanel::copy_report() {
    platform::DiagnosticFacts facts = source_.facts ? source_.facts() : platform::DiagnosticFacts{};
    facts.qt_version = qVersion();
    const QString report = QString::fromStdString(platform::build_diagnostic_report(facts));
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(report);
    platform::debug_printf("diagnostic report copied (%lld characters)",
                           static_cast<long long>(report.size()));
    say("about_copied_text");
    return report;
}

void AboutPanel::say(const char* text_id) {
    pui::set_text_id(find(QStringLiteral("about_copy_status")), QString::fromLatin1(text_id));
}

CAboutWnd::CAboutWnd(QWidget* owner, AboutSource source)
    : Window(owner), source_(std::move(source)) {
    set_caption_height(44);
}

void CAboutWnd::init_window() {
    panel_ = find_control_as<AboutPanel>(QStringLiteral("about_panel"));
    if (panel_ != nullptr)
        panel_->set_source(source_);
}

void CAboutWnd::notify(pui::Notification& msg) {
    if (msg.type == "click" && is_name(msg.sender_name(), "closebtn")) {
        close_window(0);
        return;
    }
    if (panel_ != nullptr)
        panel_->on_notify(msg);
}

pui::LResult CAboutWnd::handle_custom_message(unsigned message, pui::WParam wparam,
                                              pui::LParam lparam, bool& handled) {
    if (message == kMsgAboutLanguage) {
        reload_text();
        apply_fonts();
        if (panel_ != nullptr)
            panel_->refresh();
        handled = true;
        return 0;
    }
    return Window::handle_custom_message(message, wparam, lparam, handled);
}

void register_about_panel() {
    pui::ControlFactory::instance().regist_control(QString::fromLatin1(AboutPanel::kClassName),
                                                   [] { return new AboutPanel; });
}

}  // namespace velqa::ui
