#include "ui/button_map.h"

#include <QEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <algorithm>

#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/font_table.h"
#include "platform/ui/layout_builder.h"
#include "platform/ui/window.h"

namespace velqa::ui {

namespace {

namespace pui = platform::ui;

constexpr char kBaseGeometry[] = "keymapBaseGeometry";
const QColor kAccent(0x27, 0xe1, 0xff);
const QColor kLine(0xff, 0xff, 0xff, 80);

// Labels in average characters; the room between a label and the picture's edge, and the share
// of the picture's width that is empty margin beside the mouse (labels may reach over it).
constexpr double kLabelChars = 14.0;
constexpr double kGapChars = 0.8;
constexpr double kPictureMargin = 0.11;
// The font table's caption type (12 px at 96 DPI), as the page's hints use.
constexpr int kCaptionFont = 8;

}  // namespace

ButtonMap::ButtonMap(QWidget* parent) : QWidget(parent) {
    setProperty(pui::kClassProperty, QStringLiteral("ButtonMap"));
}

QWidget* ButtonMap::picture() const {
    return findChild<QWidget*>(QStringLiteral("SelectPanel"));
}

QWidget* ButtonMap::hot_spot(int index) const {
    QWidget* panel = picture();
    return panel != nullptr ? panel->findChild<QWidget*>(pui::numbered("key_", index)) : nullptr;
}

QPointF ButtonMap::anchor_point(int index) const {
    QWidget* spot = hot_spot(index);
    if (spot == nullptr)
        return {};
    return QPointF(spot->mapTo(this, spot->rect().center()));
}

bool ButtonMap::on_left(int index) const {
    QWidget* panel = picture();
    QWidget* spot = hot_spot(index);
    if (panel == nullptr || spot == nullptr)
        return false;
    const QRect pic = panel->childrenRect();
    return spot->x() + spot->width() / 2.0 < pic.x() + pic.width() / 2.0;
}

QFont ButtonMap::caption_font() const {
    // The window's caption type at its DPI; the page's own font does not follow the DPI.
    const pui::Window* window = pui::window_of(this);
    return pui::FontTable::instance().font(kCaptionFont, window != nullptr ? window->dpi() : 96);
}

double ButtonMap::label_width() const {
    return QFontMetricsF(caption_font()).averageCharWidth() * kLabelChars;
}

QSize ButtonMap::sizeHint() const {
    QSize hint = QWidget::sizeHint();
    QWidget* panel = picture();
    if (!shown_ || panel == nullptr)
        return hint;
    // The picture with a label column on either side, reaching over its empty margins.
    const double side = label_width() + QFontMetricsF(font()).averageCharWidth() * kGapChars -
                        panel->width() * kPictureMargin;
    hint.setWidth(std::max(hint.width(), panel->width() + 2 * static_cast<int>(side)));
    return hint;
}

void ButtonMap::set_labels(const std::vector<QString>& texts, const std::vector<QString>& names) {
    texts_ = texts;
    while (labels_.size() < texts.size()) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(kLabelPrefix) + QString::number(labels_.size()));
        label->setProperty(pui::kClassProperty, QStringLiteral("ButtonMapLabel"));
        label->setProperty("current", false);
        label->setCursor(Qt::PointingHandCursor);
        // The style sheet's padding is the only inset; a framed label would add its own.
        label->setIndent(0);
        label->installEventFilter(this);
        labels_.emplace_back(label);
    }
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        QLabel* l = labels_[i];
        const QString text = i < texts.size() ? texts[i] : QString();
        const QString name = i < names.size() ? names[i] : QString();
        l->setToolTip(name.isEmpty() ? text : name + QStringLiteral(": ") + text);
        l->setVisible(shown_ && !text.isEmpty() && hot_spot(static_cast<int>(i)) != nullptr);
    }
    place_labels();
}

void ButtonMap::set_labels_shown(bool shown) {
    if (shown == shown_)
        return;
    shown_ = shown;
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        labels_[i]->setVisible(shown_ && !texts_[i].isEmpty() &&
                               hot_spot(static_cast<int>(i)) != nullptr);
    }
    updateGeometry();
    place_labels();
}

QLabel* ButtonMap::label(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < labels_.size()
               ? labels_[static_cast<std::size_t>(index)].data()
               : nullptr;
}

QString ButtonMap::label_text(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < texts_.size()
               ? texts_[static_cast<std::size_t>(index)]
               : QString();
}

void ButtonMap::set_selected(int index) {
    selected_ = index;
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        QLabel* l = labels_[i];
        const bool current = static_cast<int>(i) == index;
        if (l->property("current").toBool() == current)
            continue;
        l->setProperty("current", current);
        // The style sheet keys on the property: polish again so the highlight shows.
        l->style()->unpolish(l);
        l->style()->polish(l);
    }
    // Polishing gives a label the page's font again: the caption type and the cut follow.
    place_labels();
}

void ButtonMap::scale_picture() {
    QWidget* panel = picture();
    if (panel == nullptr)
        return;
    if (panel_ != panel) {
        panel_ = panel;
        panel->installEventFilter(this);
    }
    // The picture's parts sit at fixed places in the layout (96 DPI); the panel itself grows
    // with the DPI, so they are scaled with it from the places the layout gave.
    QRect base;
    const auto parts = panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* part : parts) {
        if (!part->property(kBaseGeometry).isValid())
            part->setProperty(kBaseGeometry, part->geometry());
        base = base.united(part->property(kBaseGeometry).toRect());
    }
    if (base.isEmpty())
        return;
    const double s = std::min(panel->width() / double(base.right() + 1),
                              panel->height() / double(base.bottom() + 1));
    for (QWidget* part : parts) {
        const QRect g = part->property(kBaseGeometry).toRect();
        part->setGeometry(QRectF(g.x() * s, g.y() * s, g.width() * s, g.height() * s).toRect());
    }
}

bool ButtonMap::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Polish || event->type() == QEvent::Show)
        scale_picture();
    switch (event->type()) {
        case QEvent::Resize:
        case QEvent::FontChange:
        case QEvent::Show:
            place_labels();
            break;
        default:
            break;
    }
    return handled;
}

void ButtonMap::place_labels() {
    QWidget* panel = picture();
    if (panel == nullptr || !shown_)
        return;
    const QFont caption = caption_font();
    const QFontMetricsF fm(caption);
    const double row = fm.height() * 1.8;
    const double spacing = fm.height() * 0.4;
    const double gap = fm.averageCharWidth() * kGapChars;
    const QRect pic(panel->mapTo(this, QPoint(0, 0)), panel->size());
    const double inset = pic.width() * kPictureMargin;
    for (const bool left : {true, false}) {
        std::vector<int> order;
        for (std::size_t i = 0; i < labels_.size(); ++i) {
            if (on_left(static_cast<int>(i)) == left && labels_[i]->isVisibleTo(this))
                order.push_back(static_cast<int>(i));
        }
        std::sort(order.begin(), order.end(),
                  [this](int a, int b) { return anchor_point(a).y() < anchor_point(b).y(); });
        // Each label at its button's height, pushed down to clear the one above; the column
        // is pulled up as a whole when it runs past the bottom.
        std::vector<double> tops;
        double next = 0;
        for (int i : order) {
            const double top = std::max(anchor_point(i).y() - row / 2.0, next);
            tops.push_back(top);
            next = top + row + spacing;
        }
        const double overflow = tops.empty() ? 0 : std::max(0.0, tops.back() + row - height());
        const double inner = left ? pic.left() + inset - gap : pic.right() - inset + gap;
        const double w = std::max(0.0, std::min(label_width(), left ? inner : width() - inner));
        for (std::size_t k = 0; k < order.size(); ++k) {
            QLabel* l = labels_[static_cast<std::size_t>(order[k])];
            l->setFont(caption);
            const double top = std::max(0.0, tops[k] - overflow);
            l->setGeometry(QRectF(left ? inner - w : inner, top, w, row).toRect());
            l->setAlignment((left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
            // Long names are cut with an ellipsis; the tooltip keeps the whole text.
            const QString full = texts_[static_cast<std::size_t>(order[k])];
            // The style sheet's padding and border take about one line height.
            const int room = std::max(0, l->width() - static_cast<int>(fm.height()));
            l->setText(QFontMetrics(caption).elidedText(full, Qt::ElideRight, room));
            l->raise();
        }
    }
    update();
}

void ButtonMap::paintEvent(QPaintEvent*) {
    if (!shown_)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double unit = QFontMetricsF(font()).height() / 6.0;
    // Leader lines: from the label's inner edge straight out, then to the button.
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        QLabel* l = labels_[i];
        if (!l->isVisibleTo(this))
            continue;
        const int index = static_cast<int>(i);
        const bool current = index == selected_;
        const bool left = on_left(index);
        const QPointF to = anchor_point(index);
        const QRectF box = l->geometry();
        const QPointF from(left ? box.right() : box.left(), box.center().y());
        const QPointF knee(
            left ? std::min(from.x() + 3 * unit, to.x()) : std::max(from.x() - 3 * unit, to.x()),
            from.y());
        QPainterPath path(from);
        path.lineTo(knee);
        path.lineTo(to);
        p.setPen(QPen(current ? kAccent : kLine, current ? 1.6 : 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setPen(Qt::NoPen);
        p.setBrush(current ? kAccent : QColor(0xff, 0xff, 0xff, 170));
        p.drawEllipse(to, 1.5 * unit, 1.5 * unit);
    }
}

void ButtonMap::click(int index) {
    QLabel* l = label(index);
    pui::Window* window = pui::window_of(this);
    if (l != nullptr && window != nullptr)
        window->send_notify(l, "click");
}

bool ButtonMap::eventFilter(QObject* watched, QEvent* event) {
    if (watched == panel_ && event->type() == QEvent::Resize) {
        scale_picture();
        place_labels();
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        for (std::size_t i = 0; i < labels_.size(); ++i) {
            if (labels_[i] == watched && mouse->button() == Qt::LeftButton &&
                labels_[i]->rect().contains(mouse->position().toPoint())) {
                click(static_cast<int>(i));
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void register_button_map() {
    pui::ControlFactory::instance().regist_control(QStringLiteral("ButtonMap"),
                                                   [] { return new ButtonMap; });
}

}  // namespace velqa::ui
