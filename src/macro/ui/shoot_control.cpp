#include "macro/ui/shoot_control.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/debug_output.h"
#include "platform/number_text.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/layout_builder.h"
#include "ui/msg_wnd.h"

namespace velqa::macro {

namespace pui = platform::ui;
namespace fs = std::filesystem;

namespace {

constexpr char kGunPrefix[] = "shoot_gun_op_";
constexpr char kBulletPrefix[] = "bullet_op_";
constexpr char kXCheck[] = "bullet_x_check";
constexpr char kYCheck[] = "bullet_y_check";
constexpr char kXEdit[] = "bullet_x_eidt";
constexpr char kYEdit[] = "bullet_y_eidt";
constexpr char kDelayEdit[] = "bullet_delay_eidt";
constexpr char kSwitch[] = "shoot_image_display_switch";

constexpr int kMaxDelay = std::numeric_limits<std::uint16_t>::max();

// Picture metrics (pixels).
constexpr double kMargin = 22;
constexpr double kDotRadius = 4.5;
constexpr double kSelectedRadius = 8;
constexpr double kHitRadius = 11;
// A flat or tiny pattern is not zoomed beyond this span of steps.
constexpr double kMinSpan = 24;

using pui::numbered;

// The index after `prefix` in `name`, or -1.
int index_after(const QString& name, const char* prefix) {
    const QString p = QString::fromLatin1(prefix);
    if (!name.startsWith(p))
        return -1;
    const auto n = platform::parse_number(name.mid(p.size()).toStdString(), 0, 999);
    return n ? static_cast<int>(*n) : -1;
}

QString language_text(const char* id) {
    return pui::LanguageTexts::instance().text(QString::fromLatin1(id));
}

fs::path to_path(const QString& path) {
    return fs::path(path.toStdString());
}

// An edit's decimal value capped at `max`; empty text is 0, text that is no number nothing.
std::optional<int> edit_value(const QWidget* edit, int max) {
    const QString text = pui::text(edit).trimmed();
    if (text.isEmpty())
        return 0;
    // The edits take digits only; a long run of them is simply more than the maximum.
    if (text.size() > 9 || !std::all_of(text.begin(), text.end(), [](QChar c) {
            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
        }))
        return std::nullopt;
    const auto n = platform::parse_number(text.toStdString(), 0, 999999999);
    if (!n)
        return std::nullopt;
    return static_cast<int>(std::min<std::int64_t>(*n, max));
}

// Early bullets cyan, late ones violet: the order of the shots reads from the colours.
QColor bullet_colour(int bullet, int count) {
    const int t = count > 1 ? bullet * 256 / (count - 1) : 0;
    const auto mix = [t](int from, int to) { return from + (to - from) * t / 256; };
    return QColor(mix(0x27, 0x9b), mix(0xe1, 0x5c), mix(0xff, 0xff));
}

}  // namespace

// ---- ShootPatternView ---------------------------------------------------------------------

ShootPatternView::ShootPatternView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("shoot_pattern_view"));
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ShootPatternView::set_bullets(std::vector<Bullet> bullets) {
    bullets_ = std::move(bullets);
    if (selected_ >= static_cast<int>(bullets_.size()))
        selected_ = -1;
    hovered_ = -1;
    update();
}

void ShootPatternView::set_selected(int bullet) {
    selected_ = bullet >= 0 && bullet < static_cast<int>(bullets_.size()) ? bullet : -1;
    update();
}

QSize ShootPatternView::sizeHint() const {
    return {380, 380};
}

QSize ShootPatternView::minimumSizeHint() const {
    return {220, 220};
}

std::vector<QPointF> ShootPatternView::path() const {
    std::vector<QPointF> points{QPointF(0, 0)};
    for (const Bullet& b : bullets_)
        points.push_back(points.back() + QPointF(signed_x(b), signed_y(b)));
    return points;
}

ShootPatternView::Geometry ShootPatternView::geometry() const {
    const std::vector<QPointF> points = path();
    double left = 0, right = 0, top = 0, bottom = 0;
    for (const QPointF& p : points) {
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y());
    }
    // Both axes keep one scale, so a pattern's shape is never distorted.
    const double span_x = std::max(right - left, kMinSpan);
    const double span_y = std::max(bottom - top, kMinSpan);
    const double room_x = std::max(1.0, width() - 2 * kMargin);
    const double room_y = std::max(1.0, height() - 2 * kMargin);
    Geometry g;
    g.scale = std::min(room_x / span_x, room_y / span_y);
    const QPointF centre((left + right) / 2, (top + bottom) / 2);
    g.origin = QPointF(width() / 2.0, height() / 2.0) - centre * g.scale;
    return g;
}

std::optional<QPointF> ShootPatternView::dot_position(int bullet) const {
    if (bullet < 0 || bullet >= static_cast<int>(bullets_.size()))
        return std::nullopt;
    const Geometry g = geometry();
    return g.origin + path()[static_cast<std::size_t>(bullet) + 1] * g.scale;
}

int ShootPatternView::bullet_at(const QPointF& point) const {
    const Geometry g = geometry();
    const std::vector<QPointF> points = path();
    int best = -1;
    double best_distance = kHitRadius;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const QPointF d = g.origin + points[i] * g.scale - point;
        const double distance = std::hypot(d.x(), d.y());
        // Among dots on one spot (bullets without steps) the first wins.
        if (distance < best_distance) {
            best_distance = distance;
            best = static_cast<int>(i) - 1;
        }
    }
    return best;
}

void ShootPatternView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QColor(0x22, 0x28, 0x33), 1));
    p.setBrush(QColor(0x0d, 0x10, 0x14));
    p.drawRoundedRect(frame, 10, 10);

    const Geometry g = geometry();
    const std::vector<QPointF> points = path();

    // A grid of ten steps where it stays readable, and the start's cross hair.
    const double grid = 10 * g.scale;
    if (grid >= 8) {
        p.setPen(QPen(QColor(0x1a, 0x1f, 0x28), 1));
        for (double x = std::fmod(g.origin.x(), grid); x < width(); x += grid)
            p.drawLine(QPointF(x, 1), QPointF(x, height() - 1));
        for (double y = std::fmod(g.origin.y(), grid); y < height(); y += grid)
            p.drawLine(QPointF(1, y), QPointF(width() - 1, y));
    }
    p.setPen(QPen(QColor(0x2c, 0x33, 0x40), 1, Qt::DashLine));
    p.drawLine(QPointF(g.origin.x(), 1), QPointF(g.origin.x(), height() - 1));
    p.drawLine(QPointF(1, g.origin.y()), QPointF(width() - 1, g.origin.y()));

    const int count = static_cast<int>(bullets_.size());
    for (int b = 0; b < count; ++b) {
        const QPointF from = g.origin + points[static_cast<std::size_t>(b)] * g.scale;
        const QPointF to = g.origin + points[static_cast<std::size_t>(b) + 1] * g.scale;
        QColor c = bullet_colour(b, count);
        c.setAlpha(170);
        p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(from, to);
    }

    // The start: an open ring.
    p.setPen(QPen(QColor(0xe6, 0xe9, 0xef), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(g.origin, 6, 6);

    for (int b = 0; b < count; ++b) {
        if (b == selected_)
            continue;
        const QPointF at = g.origin + points[static_cast<std::size_t>(b) + 1] * g.scale;
        p.setPen(b == hovered_ ? QPen(Qt::white, 1.5) : Qt::NoPen);
        p.setBrush(bullet_colour(b, count));
        p.drawEllipse(at, kDotRadius, kDotRadius);
    }
    if (selected_ >= 0 && selected_ < count) {
        const QPointF at = g.origin + points[static_cast<std::size_t>(selected_) + 1] * g.scale;
        p.setPen(QPen(QColor(0xff, 0xb3, 0x47), 2));
        p.setBrush(QColor(0xff, 0xb3, 0x47, 90));
        p.drawEllipse(at, kSelectedRadius, kSelectedRadius);
        p.setBrush(QColor(0xff, 0xb3, 0x47));
        p.setPen(Qt::NoPen);
        p.drawEllipse(at, kDotRadius, kDotRadius);
        // The bullet's number beside it, kept inside the frame.
        const QString label = QString::number(selected_ + 1);
        QFont f = font();
        f.setBold(true);
        p.setFont(f);
        const QRectF box = QFontMetricsF(f).boundingRect(label).adjusted(-4, -2, 4, 2);
        QPointF corner = at + QPointF(kSelectedRadius + 3, -kSelectedRadius - box.height());
        corner.setX(std::clamp(corner.x(), 2.0, std::max(2.0, width() - box.width() - 2)));
        corner.setY(std::clamp(corner.y(), 2.0, std::max(2.0, height() - box.height() - 2)));
        const QRectF label_box(corner, box.size());
        p.setBrush(QColor(0x1b, 0x1f, 0x27));
        p.drawRoundedRect(label_box, 4, 4);
        p.setPen(QColor(0xff, 0xb3, 0x47));
        p.drawText(label_box, Qt::AlignCenter, label);
    }
}

void ShootPatternView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const int b = bullet_at(event->position());
        if (b >= 0) {
            emit bullet_clicked(b);
            event->accept();
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

void ShootPatternView::mouseMoveEvent(QMouseEvent* event) {
    const int b = bullet_at(event->position());
    if (b != hovered_) {
        hovered_ = b;
        setCursor(b >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void ShootPatternView::leaveEvent(QEvent* event) {
    if (hovered_ >= 0) {
        hovered_ = -1;
        update();
    }
    QWidget::leaveEvent(event);
}

// ---- CShootControlUI ----------------------------------------------------------------------

CShootControlUI::CShootControlUI(QWidget* parent)
    : QWidget(parent),
      patterns_(std::make_unique<ShootPatterns>(fs::path(), fs::path())),
      open_dialog_(platform::ui::native_open_dialog()),
      save_dialog_(platform::ui::native_save_dialog()) {
    setProperty(pui::kClassProperty, QString::fromLatin1(kClassName));
    if (pui::Window::build_scrolled_layout(
            QString::fromLatin1(kLayout), this,
            QString::fromLatin1(kClassName) + QStringLiteral("_scroll")) == nullptr)
        platform::debug_output("shooting editor: its layout could not be built\n");

    // One picture per gun page, so that switching guns keeps the page switching of the layout.
    if (auto* pages = qobject_cast<QStackedWidget*>(control(kSwitch))) {
        for (int gun = 0; gun < GunCount && gun < pages->count(); ++gun) {
            QWidget* page = pages->widget(gun);
            auto* view = new ShootPatternView(page);
            view->setObjectName(QStringLiteral("shoot_pattern_view_%1").arg(gun));
            if (page->layout() == nullptr) {
                auto* page_layout = new QVBoxLayout(page);
                page_layout->setContentsMargins(0, 0, 0, 0);
            }
            page->layout()->addWidget(view);
            views_[static_cast<std::size_t>(gun)] = view;
            connect(view, &ShootPatternView::bullet_clicked, this, [this](int bullet) {
                commit_pending();
                select_bullet(bullet);
            });
        }
    }
    pui::set_number_only(control(kXEdit), true);
    pui::set_number_only(control(kYEdit), true);
    pui::set_number_only(control(kDelayEdit), true);
    pui::set_max_length(control(kXEdit), 3);
    pui::set_max_length(control(kYEdit), 3);
    pui::set_max_length(control(kDelayEdit), 5);
    // Internal, whatever the routing: the labels and the picture follow what the user sets
    // before it is saved, and Enter saves as leaving the edit does.
    for (const char* name : {kXCheck, kYCheck}) {
        if (auto* check = qobject_cast<QAbstractButton*>(control(name))) {
            check->setCheckable(true);
            connect(check, &QAbstractButton::toggled, this, [this] {
                update_labels();
                refresh_view();
            });
        }
    }
    for (const char* name : {kXEdit, kYEdit, kDelayEdit}) {
        if (auto* edit = qobject_cast<QLineEdit*>(control(name))) {
            connect(edit, &QLineEdit::textEdited, this, [this] { refresh_view(); });
            connect(edit, &QLineEdit::returnPressed, this, [this] { save_bullet(); });
        }
    }
    for (int gun = 0; gun < GunCount; ++gun)
        pui::set_selected(control(numbered(kGunPrefix, gun)), false, false);
    for (int b = 0; b < BulletCount; ++b)
        pui::set_selected(control(numbered(kBulletPrefix, b)), false, false);
    update_labels();
}

CShootControlUI::~CShootControlUI() = default;

QWidget* CShootControlUI::control(const QString& name) const {
    return controls_.find(const_cast<CShootControlUI*>(this), name);
}

ShootPatternView* CShootControlUI::pattern_view(int gun) const {
    return gun >= 0 && gun < GunCount ? views_[static_cast<std::size_t>(gun)] : nullptr;
}

void CShootControlUI::set_folders(const fs::path& user, const fs::path& defaults) {
    patterns_ = std::make_unique<ShootPatterns>(user, defaults);
    ready_ = true;
    // The device's data folder is made on first use.
    std::error_code ec;
    fs::create_directories(user, ec);
    if (ec)
        platform::debug_printf("shooting editor: cannot create %s: %s\n", user.string().c_str(),
                               ec.message().c_str());
    if (const ShootResult r = patterns_->restore_unreadable(); !r.ok())
        platform::debug_printf("shooting editor: restoring a pattern failed: %s (%s)\n",
                               shoot_status_text(r.status), r.detail.c_str());
    for (int gun = 0; gun < GunCount; ++gun) {
        if (ShootPatternView* view = pattern_view(gun))
            view->set_bullets(patterns_->load_bullets(gun).value_or(
                std::vector<Bullet>(static_cast<std::size_t>(BulletCount))));
    }
    bullet_ = -1;
    select_gun(0);
    select_bullet(0);
}

void CShootControlUI::select_gun(int gun) {
    for (int g = 0; g < GunCount; ++g)
        pui::set_selected(control(numbered(kGunPrefix, g)), false, false);
    gun_ = std::clamp(gun, 0, GunCount - 1);
    pui::set_selected(control(numbered(kGunPrefix, gun_)), true, false);
    pui::select_page(control(kSwitch), gun_);
    if (bullet_ >= 0)
        show_bullet();
}

void CShootControlUI::select_bullet(int bullet) {
    for (int b = 0; b < BulletCount; ++b)
        pui::set_selected(control(numbered(kBulletPrefix, b)), false, false);
    bullet_ = std::clamp(bullet, 0, BulletCount - 1);
    pui::set_selected(control(numbered(kBulletPrefix, bullet_)), true, false);
    pui::set_text(control("bullet_select_index"), QString::number(bullet_ + 1));
    show_bullet();
}

void CShootControlUI::show_bullet() {
    if (!ready_ || bullet_ < 0)
        return;
    // The file is read each time: it is the truth, whatever changed it.
    loaded_ = patterns_->load_bullets(gun_).value_or(
        std::vector<Bullet>(static_cast<std::size_t>(BulletCount)));
    const Bullet& b = loaded_[static_cast<std::size_t>(bullet_)];
    pui::set_selected(control(kXCheck), b.left, false);
    pui::set_selected(control(kYCheck), b.up, false);
    pui::set_text(control(kXEdit), QString::number(b.x));
    pui::set_text(control(kYEdit), QString::number(b.y));
    pui::set_text(control(kDelayEdit), QString::number(b.delay));
    update_labels();
    if (ShootPatternView* view = pattern_view(gun_)) {
        view->set_bullets(loaded_);
        view->set_selected(bullet_);
    }
}

Bullet CShootControlUI::shown_bullet() const {
    Bullet b;
    if (bullet_ >= 0 && bullet_ < static_cast<int>(loaded_.size()))
        b = loaded_[static_cast<std::size_t>(bullet_)];
    // A value that is no number keeps what the file holds.
    b.left = pui::is_selected(control(kXCheck));
    b.up = pui::is_selected(control(kYCheck));
    if (auto x = edit_value(control(kXEdit), MaxBulletSteps))
        b.x = static_cast<std::uint8_t>(*x);
    if (auto y = edit_value(control(kYEdit), MaxBulletSteps))
        b.y = static_cast<std::uint8_t>(*y);
    if (auto d = edit_value(control(kDelayEdit), kMaxDelay))
        b.delay = static_cast<std::uint16_t>(*d);
    return b;
}

void CShootControlUI::save_bullet() {
    if (!ready_ || bullet_ < 0)
        return;
    const Bullet b = shown_bullet();
    const ShootResult r = patterns_->save_bullet(gun_, bullet_, b);
    if (!r.ok()) {
        report(r, "saving the bullet");
        notice("shoot_save_failed_text");
        show_bullet();
        return;
    }
    // The edits show what was stored (a capped step count, "" as 0).
    show_bullet();
    emit pattern_changed(gun_);
}

void CShootControlUI::commit_pending() {
    if (!ready_ || bullet_ < 0 || bullet_ >= static_cast<int>(loaded_.size()))
        return;
    if (shown_bullet() != loaded_[static_cast<std::size_t>(bullet_)])
        save_bullet();
}

void CShootControlUI::update_labels() {
    pui::set_text_id(control(kXCheck), QString::fromLatin1(pui::is_selected(control(kXCheck))
                                                               ? "mouse_move_to_left_text"
                                                               : "mouse_move_to_right_text"));
    pui::set_text_id(control(kYCheck), QString::fromLatin1(pui::is_selected(control(kYCheck))
                                                               ? "mouse_move_to_up_text"
                                                               : "mouse_move_to_down_text"));
}

void CShootControlUI::refresh_view() {
    ShootPatternView* view = pattern_view(gun_);
    if (view == nullptr || !ready_ || bullet_ < 0 || bullet_ >= static_cast<int>(loaded_.size()))
        return;
    // The picture previews the bullet as it is being edited.
    std::vector<Bullet> bullets = loaded_;
    bullets[static_cast<std::size_t>(bullet_)] = shown_bullet();
    view->set_bullets(std::move(bullets));
    view->set_selected(bullet_);
}

void CShootControlUI::reset_gun() {
    if (!ready_)
        return;
    const ShootResult r = patterns_->reset(gun_);
    if (!r.ok()) {
        report(r, "reset");
        notice(r.status == ShootStatus::NoDefault ? "shoot_reset_failed_text"
                                                  : "shoot_save_failed_text");
        return;
    }
    show_bullet();
    emit pattern_changed(gun_);
}

void CShootControlUI::import_pattern() {
    if (!ready_)
        return;
    const QString path = open_dialog_(window(), language_text("shoot_import_title_text"),
                                      QDir::homePath(), QString::fromLatin1(kFileFilter));
    if (path.isEmpty())
        return;
    const ShootResult r = patterns_->import_file(gun_, to_path(path));
    if (!r.ok()) {
        report(r, "import");
        notice(r.status == ShootStatus::Refused ? "shoot_import_refused_text"
                                                : "shoot_save_failed_text");
        return;
    }
    show_bullet();
    emit pattern_changed(gun_);
}

void CShootControlUI::export_pattern() {
    if (!ready_)
        return;
    commit_pending();
    const QString start =
        QDir(QDir::homePath()).filePath(QStringLiteral("ShootData_%1.shoot").arg(gun_));
    QString path = save_dialog_(window(), language_text("shoot_export_title_text"), start,
                                QString::fromLatin1(kFileFilter));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".shoot");
    const ShootResult r = patterns_->export_file(gun_, to_path(path));
    if (!r.ok()) {
        report(r, "export");
        notice("shoot_export_failed_text");
    }
}

void CShootControlUI::report(const ShootResult& result, const char* what) {
    platform::debug_printf("shooting editor: %s of gun %d failed: %s (%s)\n", what, gun_,
                           shoot_status_text(result.status), result.detail.c_str());
}

void CShootControlUI::notice(const char* text_id) {
    ui::tell_user(this, text_id);
}

void CShootControlUI::on_notify(pui::Notification& msg) {
    if (msg.sender == nullptr)
        return;
    const QString name = msg.sender_name();
    if (msg.type == "selectchanged") {
        const bool on = msg.wparam != 0;
        if (const int gun = index_after(name, kGunPrefix); gun >= 0) {
            if (on) {
                commit_pending();
                select_gun(gun);
            } else if (gun == gun_) {
                // Clicking the chosen gun again keeps it chosen.
                pui::set_selected(msg.sender, true, false);
            }
        } else if (const int bullet = index_after(name, kBulletPrefix); bullet >= 0) {
            if (on) {
                if (bullet != bullet_)
                    commit_pending();
                select_bullet(bullet);
            } else if (bullet == bullet_) {
                pui::set_selected(msg.sender, true, false);
            }
        } else if (name == QLatin1String(kXCheck) || name == QLatin1String(kYCheck)) {
            update_labels();
            refresh_view();
        }
    } else if (msg.type == "click") {
        if (name == QLatin1String("bullet_selected_prev")) {
            commit_pending();
            select_bullet(bullet_ - 1);
        } else if (name == QLatin1String("bullet_selected_next")) {
            commit_pending();
            select_bullet(bullet_ + 1);
        } else if (name == QLatin1String("shootdate_reset_btn")) {
            reset_gun();
        } else if (name == QLatin1String("shootdate_import_btn")) {
            import_pattern();
        } else if (name == QLatin1String("shootdate_export_btn")) {
            export_pattern();
        } else if (name == QLatin1String("shootdate_save_btn")) {
            // The mouse gets what the editor shows.
            commit_pending();
            emit download_requested();
        }
    } else if (msg.type == "killfocus") {
        if (name == QLatin1String(kXEdit) || name == QLatin1String(kYEdit) ||
            name == QLatin1String(kDelayEdit))
            save_bullet();
    }
}

void register_shoot_controls() {
    // Under the class name the main window's tag table and the placeholders use; the layout
    // tag "ShootControl" finds it as well.
    pui::ControlFactory::instance().regist_control(QStringLiteral("CShootControlUI"),
                                                   [] { return new CShootControlUI; });
}

}  // namespace velqa::macro
