#include "platform/ui/controls.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QTabWidget>

#include "platform/ui/language.h"
#include "platform/ui/resources.h"
#include "platform/ui/window.h"

namespace velqa::platform::ui {
namespace {

void show_text(QWidget* control, const QString& value) {
    if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(value);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (combo->isEditable())
            combo->setEditText(value);
    } else {
        control->setProperty("text", value);
        control->update();
    }
}

// Colour, image, border colour and slider thumb share the control's own style sheet.
void apply_background(QWidget* control) {
    QString sheet;
    const auto argb = control->property(kBkColorProperty).toUInt();
    if (argb != 0) {
        QColor c = QColor::fromRgba(argb);
        sheet += QStringLiteral("background-color: rgba(%1,%2,%3,%4);")
                     .arg(c.red())
                     .arg(c.green())
                     .arg(c.blue())
                     .arg(c.alpha());
    }
    const QString image = image_path_from_attribute(control->property(kBkImageProperty).toString());
    if (!image.isEmpty())
        sheet += QStringLiteral("border-image: url(%1) 0 0 0 0 stretch;").arg(image);
    const auto border = control->property(kBorderColorProperty).toUInt();
    if (border != 0) {
        const QColor c = QColor::fromRgba(border);
        sheet += QStringLiteral("border-color: rgba(%1,%2,%3,%4);")
                     .arg(c.red())
                     .arg(c.green())
                     .arg(c.blue())
                     .arg(c.alpha());
    }
    const QString thumb =
        image_path_from_attribute(control->property(kThumbImageProperty).toString());
    control->setAttribute(Qt::WA_StyledBackground, true);
    // The selector keeps children from inheriting the background.
    const QString name = control->objectName();
    if (!sheet.isEmpty() && !name.isEmpty())
        sheet = QStringLiteral("#%1 { %2 }").arg(name, sheet);
    if (!thumb.isEmpty() && !name.isEmpty()) {
        sheet += QStringLiteral(" #%1::handle:horizontal, #%1::handle:vertical { image: url(%2); }")
                     .arg(name, thumb);
    }
    // Setting a sheet, even the same one, parses it again and repolishes the control and all
    // its children: their images and palettes are made anew, and every new one leaves another
    // entry in Qt's pixmap cache.
    if (control->styleSheet() != sheet)
        control->setStyleSheet(sheet);
}

}  // namespace

void set_text(QWidget* control, const QString& value) {
    if (control == nullptr)
        return;
    control->setProperty(kTextIdProperty, QVariant());
    show_text(control, value);
}

QString text(const QWidget* control) {
    if (control == nullptr)
        return {};
    if (auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(control))
        return edit->text();
    if (auto* combo = qobject_cast<const QComboBox*>(control))
        return combo->currentText();
    return control->property("text").toString();
}

void set_text_id(QWidget* control, const QString& id) {
    if (control == nullptr)
        return;
    control->setProperty(kTextIdProperty, id);
    show_text(control, LanguageTexts::instance().text(id));
}

QString text_id(const QWidget* control) {
    return control == nullptr ? QString() : control->property(kTextIdProperty).toString();
}

void set_text(QWidget* control, const QString& value, bool is_id) {
    if (is_id) {
        set_text_id(control, value);
    } else {
        set_text(control, value);
    }
}

void set_tool_tip(QWidget* control, const QString& value) {
    if (control == nullptr)
        return;
    control->setProperty(kToolTipIdProperty, QVariant());
    control->setToolTip(value);
}

void set_tool_tip_id(QWidget* control, const QString& id) {
    if (control == nullptr)
        return;
    control->setProperty(kToolTipIdProperty, id);
    control->setToolTip(LanguageTexts::instance().text(id));
}

void set_user_data(QWidget* control, const QString& value) {
    if (control != nullptr)
        control->setProperty(kUserDataProperty, value);
}

QString user_data(const QWidget* control) {
    return control == nullptr ? QString() : control->property(kUserDataProperty).toString();
}

void set_tag(QWidget* control, std::uintptr_t value) {
    if (control != nullptr)
        control->setProperty(kTagProperty, QVariant::fromValue<quint64>(value));
}

std::uintptr_t tag(const QWidget* control) {
    return control == nullptr ? 0 : control->property(kTagProperty).value<quint64>();
}

void set_bk_color(QWidget* control, std::uint32_t argb) {
    if (control == nullptr)
        return;
    control->setProperty(kBkColorProperty, argb);
    apply_background(control);
}

std::uint32_t bk_color(const QWidget* control) {
    return control == nullptr ? 0 : control->property(kBkColorProperty).toUInt();
}

void set_bk_image(QWidget* control, const QString& attribute) {
    if (control == nullptr)
        return;
    control->setProperty(kBkImageProperty, attribute);
    apply_background(control);
}

QString bk_image(const QWidget* control) {
    return control == nullptr ? QString() : control->property(kBkImageProperty).toString();
}

void set_border_color(QWidget* control, std::uint32_t argb) {
    if (control == nullptr)
        return;
    control->setProperty(kBorderColorProperty, argb);
    apply_background(control);
}

std::uint32_t border_color(const QWidget* control) {
    return control == nullptr ? 0 : control->property(kBorderColorProperty).toUInt();
}

void set_thumb_image(QWidget* slider, const QString& attribute) {
    if (slider == nullptr)
        return;
    slider->setProperty(kThumbImageProperty, attribute);
    apply_background(slider);
}

QString thumb_image(const QWidget* slider) {
    return slider == nullptr ? QString() : slider->property(kThumbImageProperty).toString();
}

void set_selected(QWidget* option, bool selected, bool trigger) {
    auto* button = qobject_cast<QAbstractButton*>(option);
    if (button == nullptr)
        return;
    if (!button->isCheckable())
        button->setCheckable(true);
    if (button->isChecked() == selected)
        return;
    if (!trigger) {
        Window* window = window_of(button);
        if (window != nullptr) {
            Window::NotifySuppressor quiet(*window);
            button->setChecked(selected);
            return;
        }
    }
    button->setChecked(selected);
}

bool is_selected(const QWidget* option) {
    auto* button = qobject_cast<const QAbstractButton*>(option);
    return button != nullptr && button->isChecked();
}

int add_combo_item(QWidget* combo_widget, const QString& item_text, const QString& tool_tip,
                   const QVariant& data, int height) {
    auto* combo = qobject_cast<QComboBox*>(combo_widget);
    if (combo == nullptr)
        return -1;
    combo->addItem(item_text, data);
    const int index = combo->count() - 1;
    if (!tool_tip.isEmpty())
        combo->setItemData(index, tool_tip, Qt::ToolTipRole);
    if (height > 0)
        combo->setItemData(index, QSize(0, height), Qt::SizeHintRole);
    return index;
}

bool select_item(QWidget* control, int index, bool trigger) {
    Window* window = window_of(control);
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (index < -1 || index >= combo->count())
            return false;
        combo->setCurrentIndex(index);
        if (trigger && window != nullptr) {
            window->send_notify(control, "itemselect", static_cast<WParam>(index), 0);
        }
        return true;
    }
    if (auto* list = qobject_cast<QListWidget*>(control)) {
        if (index < -1 || index >= list->count())
            return false;
        if (!trigger && window != nullptr) {
            Window::NotifySuppressor quiet(*window);
            list->setCurrentRow(index);
        } else {
            list->setCurrentRow(index);
        }
        return true;
    }
    return false;
}

int current_item(const QWidget* control) {
    if (auto* combo = qobject_cast<const QComboBox*>(control))
        return combo->currentIndex();
    if (auto* list = qobject_cast<const QListWidget*>(control))
        return list->currentRow();
    return -1;
}

int item_count(const QWidget* control) {
    if (auto* combo = qobject_cast<const QComboBox*>(control))
        return combo->count();
    if (auto* list = qobject_cast<const QListWidget*>(control))
        return list->count();
    return 0;
}

QVariant item_data(const QWidget* control, int index) {
    if (auto* combo = qobject_cast<const QComboBox*>(control))
        return combo->itemData(index);
    if (auto* list = qobject_cast<const QListWidget*>(control)) {
        const QListWidgetItem* item = list->item(index);
        return item != nullptr ? item->data(Qt::UserRole) : QVariant();
    }
    return {};
}

void remove_all_items(QWidget* control) {
    if (auto* combo = qobject_cast<QComboBox*>(control))
        combo->clear();
    if (auto* list = qobject_cast<QListWidget*>(control))
        list->clear();
}

void set_value(QWidget* control, int v) {
    if (auto* slider = qobject_cast<QAbstractSlider*>(control))
        slider->setValue(v);
    if (auto* bar = qobject_cast<QProgressBar*>(control))
        bar->setValue(v);
}

int value(const QWidget* control) {
    if (auto* slider = qobject_cast<const QAbstractSlider*>(control))
        return slider->value();
    if (auto* bar = qobject_cast<const QProgressBar*>(control))
        return bar->value();
    return 0;
}

void set_range(QWidget* control, int lo, int hi) {
    if (auto* slider = qobject_cast<QAbstractSlider*>(control))
        slider->setRange(lo, hi);
    if (auto* bar = qobject_cast<QProgressBar*>(control))
        bar->setRange(lo, hi);
}

int minimum(const QWidget* control) {
    if (auto* slider = qobject_cast<const QAbstractSlider*>(control))
        return slider->minimum();
    if (auto* bar = qobject_cast<const QProgressBar*>(control))
        return bar->minimum();
    return 0;
}

int maximum(const QWidget* control) {
    if (auto* slider = qobject_cast<const QAbstractSlider*>(control))
        return slider->maximum();
    if (auto* bar = qobject_cast<const QProgressBar*>(control))
        return bar->maximum();
    return 0;
}

void set_number_only(QWidget* control, bool on) {
    auto* edit = qobject_cast<QLineEdit*>(control);
    if (edit == nullptr)
        return;
    if (on) {
        static const QRegularExpression digits(QStringLiteral("[0-9]*"));
        edit->setValidator(new QRegularExpressionValidator(digits, edit));
    } else {
        edit->setValidator(nullptr);
    }
}

void set_max_length(QWidget* control, int length) {
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setMaxLength(length);
}

bool select_page(QWidget* control, int index) {
    if (auto* stack = qobject_cast<QStackedWidget*>(control)) {
        if (index < 0 || index >= stack->count())
            return false;
        stack->setCurrentIndex(index);
        return true;
    }
    if (auto* tabs = qobject_cast<QTabWidget*>(control)) {
        if (index < 0 || index >= tabs->count())
            return false;
        tabs->setCurrentIndex(index);
        return true;
    }
    return false;
}

int current_page(const QWidget* control) {
    if (auto* stack = qobject_cast<const QStackedWidget*>(control))
        return stack->currentIndex();
    if (auto* tabs = qobject_cast<const QTabWidget*>(control))
        return tabs->currentIndex();
    return -1;
}

int page_count(const QWidget* control) {
    if (auto* stack = qobject_cast<const QStackedWidget*>(control))
        return stack->count();
    if (auto* tabs = qobject_cast<const QTabWidget*>(control))
        return tabs->count();
    return 0;
}

QString numbered(const char* prefix, int n) {
    return QString::fromLatin1(prefix) + QString::number(n);
}

Window* window_of(const QWidget* control) {
    for (const QWidget* w = control; w != nullptr; w = w->parentWidget()) {
        if (auto* window = qobject_cast<Window*>(const_cast<QWidget*>(w)))
            return window;
    }
    return nullptr;
}

}  // namespace velqa::platform::ui
