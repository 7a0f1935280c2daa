#include "update/ui/update_list_item.h"

#include <QAbstractButton>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/layout_builder.h"
#include "platform/ui/window.h"

namespace velqa::update {
namespace pui = platform::ui;

namespace {

// A row's name in the current language: names of our own making ("Driver", "VELQA R260
// Software") have a text "update_name_" + the name with every other character than a letter or
// digit as "_"; a model's name has none and stays as it is.
QString name_text(const std::string& name) {
    QString id = QStringLiteral("update_name_");
    for (char c : name) {
        const bool plain =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        id += plain ? QLatin1Char(c) : QLatin1Char('_');
    }
    const pui::LanguageTexts& texts = pui::LanguageTexts::instance();
    return texts.has(id) ? texts.text(id) : QString::fromStdString(name);
}

}  // namespace

CUpdateInfoListItemUI::CUpdateInfoListItemUI(QWidget* parent) : QWidget(parent) {
    setProperty(pui::kClassProperty, QString::fromLatin1(kClassName));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (QWidget* root = pui::Window::build_layout(QString::fromLatin1(kLayout), this))
        layout->addWidget(root);
    setFixedHeight(kHeight);
    auto find = [this](const char* name) {
        return pui::Window::find_sub_control_by_name(this, QString::fromLatin1(name));
    };
    check_ = find("check_name_select");
    old_rev_ = find("OldRev");
    update_rev_ = find("updateRev");
    status_ = find("update_status_text");
    progress_ = find("update_status_ing");
    value_ = find("update_progress_value");
    done_ = find("update_status_ok");
    pui::set_range(progress_, 0, 100);
    // The status column stays in place while a row hides its latest version.
    if (update_rev_ != nullptr) {
        QSizePolicy policy = update_rev_->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        update_rev_->setSizePolicy(policy);
    }
    setAttribute(Qt::WA_StyledBackground);
}

bool CUpdateInfoListItemUI::ticked() const {
    return pui::is_selected(check_);
}

void CUpdateInfoListItemUI::show_row(const UpdateRow& row) {
    pui::set_text(check_, name_text(row.display_name));
    pui::set_selected(check_, row.ticked);
    if (check_ != nullptr) {
        check_->setEnabled(tick_enabled(row.state));
        // Grey rows (older, done) draw their name in the grey of GreyTextColor.
        const bool grey = grey_text(row.state);
        if (check_->property("grey").toBool() != grey) {
            check_->setProperty("grey", grey);
            check_->style()->unpolish(check_);
            check_->style()->polish(check_);
        }
    }
    pui::set_text(old_rev_, QString::fromStdString(row.current_text));
    pui::set_text(update_rev_, QString::fromStdString(row.latest_text));
    if (update_rev_ != nullptr)
        update_rev_->setVisible(!row.latest_text.empty());
    pui::set_text_id(status_, QString::fromLatin1(row_status_text_id(row)));
    if (status_ != nullptr) {
        // A row the server did not answer draws its status as a warning, with the reason.
        const bool unchecked = check_failed(row);
        status_->setToolTip(unchecked ? QString::fromStdString(row.check_failure) : QString());
        if (status_->property("state").toInt() != row.state ||
            status_->property("unchecked").toBool() != unchecked) {
            status_->setProperty("state", row.state);
            status_->setProperty("unchecked", unchecked);
            status_->style()->unpolish(status_);
            status_->style()->polish(status_);
        }
    }
    const bool progress = shows_progress(row.state);
    pui::set_value(progress_, row.percent);
    pui::set_text(value_, QString::fromStdString(progress_text(row)));
    if (progress_ != nullptr)
        progress_->setVisible(progress);
    if (value_ != nullptr)
        value_->setVisible(progress);
    if (done_ != nullptr)
        done_->setVisible(shows_done_mark(row.state));
    pui::set_user_data(this, QString::fromStdString(row.result.package_address));
}

UpdateStatusRing::UpdateStatusRing(QWidget* parent) : QWidget(parent) {
    setProperty(pui::kClassProperty, QString::fromLatin1(kClassName));
    setAttribute(Qt::WA_TranslucentBackground);
    timer_ = new QTimer(this);
    timer_->setInterval(40);
    connect(timer_, &QTimer::timeout, this, [this] {
        angle_ = (angle_ + 12) % 360;
        update();
    });
}

void UpdateStatusRing::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    timer_->start();
}

void UpdateStatusRing::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_->stop();
}

void UpdateStatusRing::paintEvent(QPaintEvent* event) {
    (void)event;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int side = std::min(width(), height());
    const qreal pen = std::max(2.0, side / 8.0);
    const QRectF box((width() - side) / 2.0 + pen / 2, (height() - side) / 2.0 + pen / 2,
                     side - pen, side - pen);
    p.setPen(QPen(QColor(0x26, 0x2b, 0x35), pen));
    p.drawEllipse(box);
    QConicalGradient sweep(box.center(), -angle_);
    sweep.setColorAt(0.0, QColor(0x27, 0xe1, 0xff));
    sweep.setColorAt(0.3, QColor(0x7b, 0x5c, 0xff));
    sweep.setColorAt(1.0, QColor(0x7b, 0x5c, 0xff, 0));
    p.setPen(QPen(QBrush(sweep), pen, Qt::SolidLine, Qt::RoundCap));
    // Qt angles are in sixteenths of a degree, counter-clockwise.
    p.drawArc(box, -angle_ * 16, 270 * 16);
}

}  // namespace velqa::update
