#include "platform/ui/accessibility.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QScrollBar>
#include <algorithm>

#include "platform/ui/color_palette.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"

namespace velqa::platform::ui {
namespace {

// Set by describe_controls on a name it derived (not one the code gave), so that a language
// change derives it again instead of keeping it.
constexpr char kDerivedNameProperty[] = "velqaDerivedName";
constexpr char kUserControlProperty[] = "userControl";
// A window or message that speaks for itself when shown: an alert.
constexpr char kAlertProperty[] = "accessibleAlert";

// The number a numbered control carries ("DPI_slider_3" -> 3), or -1.
int trailing_number(const QString& name) {
    static const QRegularExpression digits(QStringLiteral("(\\d+)$"));
    const auto m = digits.match(name);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString resolve_id(const QWidget* w, const QString& id) {
    QString text = LanguageTexts::instance().text(id);
    if (text.contains(QLatin1String("%1")))
        text = text.arg(std::max(trailing_number(w->objectName()), 0) + 1);
    return text;
}

QString shown_text(const QWidget* w) {
    QString t;
    if (auto* button = qobject_cast<const QAbstractButton*>(w))
        t = button->text();
    else if (auto* label = qobject_cast<const QLabel*>(w))
        t = label->text();
    t.remove(QLatin1Char('&'));
    return t.trimmed();
}

// The label a control sits beside: the nearest label before it in its layout, looked for in
// the control's own row and then in the row around that (a control inside a small box).
QString label_text(const QWidget* w) {
    const QWidget* item = w;
    for (int level = 0; level < 2 && item->parentWidget() != nullptr; ++level) {
        QLayout* layout = item->parentWidget()->layout();
        const int at = layout != nullptr ? layout->indexOf(item) : -1;
        for (int i = at - 1; i >= 0; --i) {
            QLayoutItem* before = layout->itemAt(i);
            auto* label = before != nullptr ? qobject_cast<QLabel*>(before->widget()) : nullptr;
            if (label != nullptr && !label->isHidden() && !shown_text(label).isEmpty())
                return shown_text(label);
            // Another control in between names itself, not this one.
            if (before != nullptr && before->widget() != nullptr &&
                is_user_control(before->widget()))
                return {};
        }
        item = item->parentWidget();
    }
    return {};
}

// Key hot spots and other widgets a page marks as controls are buttons to assistive technology.
QAccessibleInterface* accessible_factory(const QString& class_name, QObject* object) {
    (void)class_name;
    auto* w = qobject_cast<QWidget*>(object);
    if (w == nullptr)
        return nullptr;
    if (w->property(kAlertProperty).toBool())
        return new QAccessibleWidget(w, QAccessible::AlertMessage);
    if (qobject_cast<ColorPalette*>(w) != nullptr)
        return new QAccessibleWidget(w, QAccessible::ColorChooser);
    if (w->property(kUserControlProperty).toBool() && qobject_cast<QAbstractButton*>(w) == nullptr)
        return new QAccessibleWidget(w, QAccessible::Button);
    return nullptr;
}

void install_factory() {
    static const bool installed = [] {
        QAccessible::installFactory(&accessible_factory);
        return true;
    }();
    (void)installed;
}

}  // namespace

bool is_user_control(const QWidget* w) {
    if (w == nullptr)
        return false;
    if (w->property(kUserControlProperty).toBool())
        return true;
    if (qobject_cast<const QAbstractButton*>(w) != nullptr ||
        qobject_cast<const QComboBox*>(w) != nullptr ||
        qobject_cast<const QListWidget*>(w) != nullptr ||
        qobject_cast<const ColorPalette*>(w) != nullptr)
        return true;
    if (qobject_cast<const QAbstractSlider*>(w) != nullptr)
        return qobject_cast<const QScrollBar*>(w) == nullptr;
    if (auto* edit = qobject_cast<const QLineEdit*>(w))
        return !edit->isReadOnly();
    return false;
}

QString accessible_name(const QWidget* w) {
    if (w == nullptr)
        return {};
    if (!w->accessibleName().isEmpty())
        return w->accessibleName();
    if (const QString t = shown_text(w); !t.isEmpty())
        return t;
    if (const QString t = label_text(w); !t.isEmpty())
        return t;
    return w->toolTip().trimmed();
}

void describe_controls(QWidget* subtree) {
    if (subtree == nullptr)
        return;
    install_factory();
    QList<QWidget*> all = subtree->findChildren<QWidget*>();
    all.prepend(subtree);
    for (QWidget* w : all) {
        if (const QString id = w->property(kAccessibleDescriptionIdProperty).toString();
            !id.isEmpty())
            w->setAccessibleDescription(resolve_id(w, id));
        if (!is_user_control(w))
            continue;
        if (w->focusPolicy() == Qt::NoFocus)
            w->setFocusPolicy(Qt::TabFocus);
        // An option of a group is one of several choices: read as a radio button, not as a
        // check box. The group keeps them exclusive already.
        if (auto* button = qobject_cast<QAbstractButton*>(w);
            button != nullptr && !w->property(kGroupProperty).toString().isEmpty())
            button->setAutoExclusive(true);
        // A name the code set itself stays; one derived here follows the language.
        const bool derived = w->property(kDerivedNameProperty).toBool();
        if (!w->accessibleName().isEmpty() && !derived)
            continue;
        QString name;
        if (const QString id = w->property(kAccessibleNameIdProperty).toString(); !id.isEmpty())
            name = resolve_id(w, id);
        else if (shown_text(w).isEmpty())
            name = label_text(w);
        if (name.isEmpty() && shown_text(w).isEmpty())
            name = w->toolTip().trimmed();
        // A button that shows its text is read by it, and follows it when the page changes it.
        if (name.isEmpty() && !derived)
            continue;
        w->setProperty(kDerivedNameProperty, true);
        w->setAccessibleName(name);
    }
}

void set_accessible_name_id(QWidget* w, const QString& id) {
    if (w == nullptr)
        return;
    w->setProperty(kAccessibleNameIdProperty, id);
    w->setProperty(kDerivedNameProperty, true);
    w->setAccessibleName(id.isEmpty() ? QString() : resolve_id(w, id));
}

bool move_in_group(QWidget* from, int key) {
    auto* button = qobject_cast<QAbstractButton*>(from);
    QButtonGroup* group = button != nullptr ? button->group() : nullptr;
    if (group == nullptr)
        return false;
    int step = 0;
    if (key == Qt::Key_Right || key == Qt::Key_Down)
        step = 1;
    else if (key == Qt::Key_Left || key == Qt::Key_Up)
        step = -1;
    if (step == 0)
        return false;
    QList<QAbstractButton*> buttons;
    for (QAbstractButton* b : group->buttons()) {
        if (b->isVisibleTo(b->window()) && b->isEnabled())
            buttons.append(b);
    }
    // Reading order: the group's buttons as they stand on screen, row by row.
    std::sort(buttons.begin(), buttons.end(), [](QAbstractButton* a, QAbstractButton* b) {
        const QPoint pa = a->mapTo(a->window(), QPoint());
        const QPoint pb = b->mapTo(b->window(), QPoint());
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    const qsizetype at = buttons.indexOf(button);
    if (at < 0 || buttons.size() < 2)
        return false;
    QAbstractButton* next = buttons[(at + step + buttons.size()) % buttons.size()];
    next->setFocus(Qt::TabFocusReason);
    if (!next->isChecked())
        next->click();
    return true;
}

QWidget* group_entry(QWidget* from) {
    auto* button = qobject_cast<QAbstractButton*>(from);
    QButtonGroup* group = button != nullptr ? button->group() : nullptr;
    if (group == nullptr || button->isChecked())
        return nullptr;
    QAbstractButton* chosen = group->checkedButton();
    if (chosen == nullptr || !chosen->isVisible() || !chosen->isEnabled())
        return nullptr;
    return chosen;
}

void set_alert(QWidget* w) {
    if (w == nullptr)
        return;
    install_factory();
    w->setProperty(kAlertProperty, true);
}

void announce(QWidget* w) {
    if (w == nullptr)
        return;
    QAccessibleEvent shown(w, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
    QAccessibleEvent alert(w, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

}  // namespace velqa::platform::ui
