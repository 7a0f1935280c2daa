#include "platform/ui/layout_builder.h"

#include <QBoxLayout>
#include <QBuffer>
#include <QByteArray>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRect>
#include <QScrollBar>
#include <QSize>
#include <QSizePolicy>
#include <QSlider>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QTextEdit>
#include <QXmlStreamReader>
#include <algorithm>
#include <functional>
#include <iterator>
#include <optional>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/resources.h"

// The layouts are Qt Designer files. They are built in one pass over the XML, calling Qt in the
// order Qt's own form builder does (properties as read, then child widgets, then the layout, then
// the page is added to its stacked parent), so a tree comes out as Designer's preview shows it.

namespace velqa::platform::ui {
namespace {

// Far deeper than any layout; a file nested deeper is refused rather than exhausting the stack.
constexpr int kMaxDepth = 128;

template <class W>
QWidget* make_widget(QWidget* parent) {
    return new W(parent);
}

struct QtClass {
    const char* name;
    QWidget* (*make)(QWidget* parent);
};

// Qt's classes the layouts and the controls framework use. Another Qt class is reported like any
// unknown class.
constexpr QtClass kQtClasses[] = {
    {"QWidget", make_widget<QWidget>},           {"QLabel", make_widget<QLabel>},
    {"QPushButton", make_widget<QPushButton>},   {"QSlider", make_widget<QSlider>},
    {"QLineEdit", make_widget<QLineEdit>},       {"QComboBox", make_widget<QComboBox>},
    {"QCheckBox", make_widget<QCheckBox>},       {"QRadioButton", make_widget<QRadioButton>},
    {"QListWidget", make_widget<QListWidget>},   {"QFrame", make_widget<QFrame>},
    {"QProgressBar", make_widget<QProgressBar>}, {"QStackedWidget", make_widget<QStackedWidget>},
    {"QTextEdit", make_widget<QTextEdit>},       {"QPlainTextEdit", make_widget<QPlainTextEdit>},
    {"QScrollBar", make_widget<QScrollBar>},
};

QLayout* make_layout(QStringView class_name, QWidget* parent) {
    if (class_name == u"QHBoxLayout")
        return new QHBoxLayout(parent);
    if (class_name == u"QVBoxLayout")
        return new QVBoxLayout(parent);
    if (class_name == u"QGridLayout")
        return new QGridLayout(parent);
    return nullptr;
}

// "QSizePolicy::Fixed" -> "Fixed": enum keys are looked up without their scope.
QByteArray enum_key(const QString& text) {
    const qsizetype colon = text.lastIndexOf(u':');
    return (colon >= 0 ? text.mid(colon + 1) : text).trimmed().toUtf8();
}

template <class Enum>
std::optional<int> enum_value(const QString& text) {
    bool ok = false;
    const int value = QMetaEnum::fromType<Enum>().keyToValue(enum_key(text).constData(), &ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

std::optional<int> number(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// A property as the file spells it. Enum and set keys need the receiving object's property to
// be resolved, so they are kept as text until then.
struct Property {
    enum class Kind { Plain, Enum, Set };
    QByteArray name;
    Kind kind = Kind::Plain;
    QVariant plain;
    QString keys;

    int number_or_zero() const { return kind == Kind::Plain ? plain.toInt() : 0; }
};

// Where an item goes in its layout; a box layout reads only the alignment.
struct Cell {
    int row = 0;
    int column = 0;
    int row_span = 1;
    int column_span = 1;
    Qt::Alignment alignment;
};

// One build of one file.
class Build {
  public:
    Build(const LayoutBuilder::Callback& callback, const QString& layout, QWidget* parent,
          std::vector<QString>& unknown, std::vector<QString>& custom)
        : callback_(callback),
          layout_(layout.toUtf8()),
          parent_(parent),
          unknown_(unknown),
          custom_(custom) {}

    // The root widget, or nullptr with error() saying why; a failed build leaves nothing behind.
    QWidget* run(const QByteArray& bytes);
    QString error() const {
        return QStringLiteral("line %1, column %2: %3")
            .arg(xml_.lineNumber())
            .arg(xml_.columnNumber())
            .arg(xml_.errorString());
    }

  private:
    // Counts nesting for the elements that recurse.
    class Depth {
      public:
        explicit Depth(Build& b) : b_(b) {
            if (++b_.depth_ > kMaxDepth)
                b_.xml_.raiseError(QStringLiteral("elements nested too deeply"));
        }
        ~Depth() { --b_.depth_; }
        Depth(const Depth&) = delete;
        Depth& operator=(const Depth&) = delete;

      private:
        Build& b_;
    };

    QWidget* read_ui();
    QWidget* read_widget(QWidget* parent);
    QWidget* create_widget(const QString& class_name, const QString& name, QWidget* parent);
    QLayout* read_layout(QLayout* parent_layout, QWidget* parent_widget);
    void set_up_layout(QLayout* layout, const std::vector<Property>& properties);
    void apply_layout_attributes(QLayout* layout, const QXmlStreamAttributes& attributes);
    void read_item(QLayout* layout, QWidget* parent_widget);
    QSpacerItem* read_spacer(const QString& owner);
    std::optional<Property> read_property(const QString& owner);
    bool read_value(Property& p);
    std::optional<QVariant> read_sizes(std::initializer_list<QStringView> fields);
    std::optional<QSizePolicy> read_size_policy();
    QVariant resolve(const QObject* o, const Property& p, const QString& owner) const;
    void apply(QObject* o, const Property& p, const QString& owner) const;
    void skip_unexpected(const QString& owner);

    QBuffer device_;
    QXmlStreamReader xml_;
    const LayoutBuilder::Callback& callback_;
    QByteArray layout_;
    QWidget* parent_;
    std::vector<QString>& unknown_;
    std::vector<QString>& custom_;
    int depth_ = 0;
    // Set for a plain QWidget inside a plain widget, which Designer uses only to hold a layout:
    // that layout's unset margins are 0. Like Qt's builder, the flag is the state the last widget
    // or layout left, which is what a layout sees when it starts.
    bool layout_widget_ = false;
};

QWidget* Build::run(const QByteArray& bytes) {
    // Read through a device: Qt's reader decodes a device's bytes in small chunks, and takes
    // twice as long over one array holding the whole file.
    device_.setData(bytes);
    device_.open(QIODevice::ReadOnly);
    xml_.setDevice(&device_);
    QWidget* root = nullptr;
    if (xml_.readNextStartElement()) {
        if (xml_.name().compare(u"ui", Qt::CaseInsensitive) != 0) {
            xml_.raiseError(QStringLiteral("the document is not a Designer layout"));
        } else {
            root = read_ui();
        }
    }
    // Read to the end, so that a broken tail also refuses the whole file.
    while (!xml_.atEnd())
        xml_.readNext();
    if (xml_.hasError()) {
        delete root;
        return nullptr;
    }
    if (root == nullptr)
        xml_.raiseError(QStringLiteral("no widget"));
    return root;
}

QWidget* Build::read_ui() {
    const QXmlStreamAttributes attributes = xml_.attributes();
    const QStringView version = attributes.value(QLatin1String("version"));
    if (!version.isEmpty() && version.split(u'.').front().toInt() < 4) {
        xml_.raiseError(QStringLiteral("a layout older than Designer 4"));
        return nullptr;
    }
    const QStringView language = attributes.value(QLatin1String("language"));
    if (!language.isEmpty() && language.compare(u"c++", Qt::CaseInsensitive) != 0) {
        xml_.raiseError(QStringLiteral("a layout for another language"));
        return nullptr;
    }
    QWidget* root = nullptr;
    while (xml_.readNextStartElement()) {
        const QStringView tag = xml_.name();
        if (tag == u"widget") {
            if (root != nullptr) {
                xml_.raiseError(QStringLiteral("a second top-level widget"));
                break;
            }
            root = read_widget(parent_);
        } else if (tag == u"resources" || tag == u"connections") {
            // Designer writes them empty; nothing in the program uses either.
            if (xml_.readNextStartElement()) {
                debug_printf("layout %s: <%s> ignored", layout_.constData(),
                             tag.toUtf8().constData());
                xml_.skipCurrentElement();
                xml_.skipCurrentElement();
            }
        } else {
            xml_.skipCurrentElement();
        }
    }
    // A failed root was deleted where it failed; one that was whole goes with a broken tail.
    if (xml_.hasError() && root != nullptr) {
        delete root;
        root = nullptr;
    }
    return root;
}

QWidget* Build::read_widget(QWidget* parent) {
    Depth depth(*this);
    const QXmlStreamAttributes attributes = xml_.attributes();
    const QString class_name = attributes.value(QLatin1String("class")).toString();
    const QString name = attributes.value(QLatin1String("name")).toString();
    layout_widget_ = class_name == u"QWidget" &&
                     attributes.value(QLatin1String("native")) != u"true" && parent != nullptr &&
                     qobject_cast<QStackedWidget*>(parent) == nullptr;
    QWidget* w = xml_.hasError() ? nullptr : create_widget(class_name, name, parent);
    if (w == nullptr) {
        xml_.skipCurrentElement();
        return nullptr;
    }
    while (xml_.readNextStartElement()) {
        const QStringView tag = xml_.name();
        if (tag == u"property") {
            if (const auto p = read_property(name))
                apply(w, *p, name);
        } else if (tag == u"widget") {
            read_widget(w);
        } else if (tag == u"layout") {
            read_layout(nullptr, w);
        } else {
            skip_unexpected(name);
        }
    }
    if (xml_.hasError()) {
        // Children go with their parent; a page not yet added and the root are ours to delete.
        if (w->parent() == nullptr || depth_ == 1)
            delete w;
        return nullptr;
    }
    if (auto* stack = qobject_cast<QStackedWidget*>(parent))
        stack->addWidget(w);
    return w;
}

QWidget* Build::create_widget(const QString& class_name, const QString& name, QWidget* parent) {
    QWidget* w = callback_ ? callback_(class_name) : nullptr;
    if (w == nullptr)
        w = ControlFactory::instance().create_control(class_name);
    if (w != nullptr) {
        if (parent != nullptr)
            w->setParent(parent);
        w->setObjectName(name);
        w->setProperty(kClassProperty, class_name);
        custom_.push_back(class_name);
        return w;
    }
    for (const QtClass& qt : kQtClasses) {
        if (class_name != QLatin1String(qt.name))
            continue;
        // A stacked widget takes its pages itself once they are complete.
        w = qt.make(qobject_cast<QStackedWidget*>(parent) != nullptr ? nullptr : parent);
        w->setObjectName(name);
        return w;
    }
    unknown_.push_back(class_name + " " + name);
    debug_printf("layout %s: no class %s for control %s", layout_.constData(),
                 class_name.toUtf8().constData(), name.toUtf8().constData());
    return nullptr;
}

QLayout* Build::read_layout(QLayout* parent_layout, QWidget* parent_widget) {
    Depth depth(*this);
    const QXmlStreamAttributes attributes = xml_.attributes();
    const QString class_name = attributes.value(QLatin1String("class")).toString();
    const QString name = attributes.value(QLatin1String("name")).toString();
    // A second layout on a widget goes inside its first, which must be a box.
    QBoxLayout* first = nullptr;
    if (parent_layout == nullptr && parent_widget->layout() != nullptr) {
        first = qobject_cast<QBoxLayout*>(parent_widget->layout());
        if (first == nullptr) {
            debug_printf("layout %s: %s has a layout already", layout_.constData(),
                         parent_widget->objectName().toUtf8().constData());
            xml_.skipCurrentElement();
            return nullptr;
        }
    }
    const bool inner = parent_layout != nullptr || first != nullptr;
    QLayout* layout =
        xml_.hasError() ? nullptr : make_layout(class_name, inner ? nullptr : parent_widget);
    if (layout == nullptr) {
        if (!xml_.hasError()) {
            unknown_.push_back(class_name + " " + name);
            debug_printf("layout %s: no class %s for layout %s", layout_.constData(),
                         class_name.toUtf8().constData(), name.toUtf8().constData());
        }
        xml_.skipCurrentElement();
        return nullptr;
    }
    layout->setObjectName(name);
    if (first != nullptr)
        first->addLayout(layout);
    const bool layout_widget = layout_widget_;
    // The properties come before the items; margins and spacing are set from all of them first.
    std::vector<Property> properties;
    bool set_up = false;
    while (xml_.readNextStartElement()) {
        const QStringView tag = xml_.name();
        if (tag == u"property") {
            if (auto p = read_property(name)) {
                if (set_up)
                    apply(layout, *p, name);
                else
                    properties.push_back(std::move(*p));
            }
        } else if (tag == u"item") {
            if (!set_up)
                set_up_layout(layout, properties);
            set_up = true;
            read_item(layout, parent_widget);
        } else {
            skip_unexpected(name);
        }
    }
    if (!set_up && !xml_.hasError())
        set_up_layout(layout, properties);
    if (xml_.hasError()) {
        if (layout->parent() == nullptr)
            delete layout;
        return nullptr;
    }
    apply_layout_attributes(layout, attributes);
    if (layout_widget) {
        int margins[4] = {0, 0, 0, 0};
        const char* const names[4] = {"leftMargin", "topMargin", "rightMargin", "bottomMargin"};
        for (const Property& p : properties) {
            for (int i = 0; i < 4; ++i) {
                if (p.name == names[i])
                    margins[i] = p.number_or_zero();
            }
        }
        layout->setContentsMargins(margins[0], margins[1], margins[2], margins[3]);
        layout_widget_ = false;
    }
    return layout;
}

void Build::set_up_layout(QLayout* layout, const std::vector<Property>& properties) {
    auto find = [&](const char* name) -> const Property* {
        for (auto it = properties.rbegin(); it != properties.rend(); ++it) {
            if (it->name == name)
                return &*it;
        }
        return nullptr;
    };
    if (const Property* margin = find("margin")) {
        const int m = margin->number_or_zero();
        layout->setContentsMargins(m, m, m, m);
    } else {
        const Property* given[4] = {find("leftMargin"), find("topMargin"), find("rightMargin"),
                                    find("bottomMargin")};
        int m[4] = {-1, -1, -1, -1};
        // A side the layout leaves unset takes the style's margin. Asking the style is costly
        // under a style sheet (it matches every rule against the unpolished parent, and polish
        // does it again), so it is asked only when a side is missing.
        if (std::find(std::begin(given), std::end(given), nullptr) != std::end(given))
            layout->getContentsMargins(&m[0], &m[1], &m[2], &m[3]);
        for (int i = 0; i < 4; ++i) {
            if (given[i] != nullptr)
                m[i] = given[i]->number_or_zero();
        }
        layout->setContentsMargins(m[0], m[1], m[2], m[3]);
    }
    if (const Property* spacing = find("spacing")) {
        layout->setSpacing(spacing->number_or_zero());
    } else if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
        if (const Property* p = find("horizontalSpacing"))
            grid->setHorizontalSpacing(p->number_or_zero());
        if (const Property* p = find("verticalSpacing"))
            grid->setVerticalSpacing(p->number_or_zero());
    }
    // Every property is also set by name: the margins stay readable as dynamic properties.
    for (const Property& p : properties)
        apply(layout, p, layout->objectName());
}

// Per-row, per-column or per-item values, "1,0,2", set on the first cells; the rest get 0.
void Build::apply_layout_attributes(QLayout* layout, const QXmlStreamAttributes& attributes) {
    auto per_cell = [&](const char* attribute, int count,
                        const std::function<void(int, int)>& set) {
        if (!attributes.hasAttribute(QLatin1String(attribute)))
            return;
        const QStringView text = attributes.value(QLatin1String(attribute));
        const auto values = text.split(u',');
        for (int i = 0; i < count; ++i) {
            int value = 0;
            if (!text.isEmpty() && i < values.size()) {
                bool ok = false;
                value = values[i].trimmed().toInt(&ok);
                if (!ok || value < 0) {
                    debug_printf("layout %s: layout %s: cannot read %s \"%s\"", layout_.constData(),
                                 layout->objectName().toUtf8().constData(), attribute,
                                 text.toUtf8().constData());
                    return;
                }
            }
            set(i, value);
        }
    };
    if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
        per_cell("stretch", box->count(), [box](int i, int v) { box->setStretch(i, v); });
    } else if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
        const int rows = grid->rowCount();
        const int columns = grid->columnCount();
        per_cell("rowstretch", rows, [grid](int i, int v) { grid->setRowStretch(i, v); });
        per_cell("columnstretch", columns, [grid](int i, int v) { grid->setColumnStretch(i, v); });
        per_cell("rowminimumheight", rows,
                 [grid](int i, int v) { grid->setRowMinimumHeight(i, v); });
        per_cell("columnminimumwidth", columns,
                 [grid](int i, int v) { grid->setColumnMinimumWidth(i, v); });
    }
}

void Build::read_item(QLayout* layout, QWidget* parent_widget) {
    const QXmlStreamAttributes attributes = xml_.attributes();
    Cell cell;
    auto whole = [&](const char* attribute, int fallback) {
        return attributes.hasAttribute(QLatin1String(attribute))
                   ? number(attributes.value(QLatin1String(attribute)).toString())
                         .value_or(fallback)
                   : fallback;
    };
    cell.row = whole("row", 0);
    cell.column = whole("column", 0);
    cell.row_span = whole("rowspan", 1);
    cell.column_span = whole("colspan", 1);
    if (attributes.hasAttribute(QLatin1String("alignment"))) {
        bool ok = false;
        const int value = QMetaEnum::fromType<Qt::Alignment>().keysToValue(
            attributes.value(QLatin1String("alignment")).toUtf8().constData(), &ok);
        if (ok)
            cell.alignment = Qt::Alignment(value);
    }
    auto* grid = qobject_cast<QGridLayout*>(layout);
    auto* box = qobject_cast<QBoxLayout*>(layout);
    const QString owner = layout->objectName();
    while (xml_.readNextStartElement()) {
        const QStringView tag = xml_.name();
        if (tag == u"widget") {
            QWidget* w = read_widget(parent_widget);
            if (w == nullptr)
                continue;
            if (grid != nullptr)
                grid->addWidget(w, cell.row, cell.column, cell.row_span, cell.column_span,
                                cell.alignment);
            else
                box->addWidget(w, 0, cell.alignment);
        } else if (tag == u"spacer") {
            QSpacerItem* spacer = read_spacer(owner);
            if (spacer == nullptr)
                continue;
            if (grid != nullptr)
                grid->addItem(spacer, cell.row, cell.column, cell.row_span, cell.column_span,
                              spacer->alignment());
            else
                box->addItem(spacer);
        } else if (tag == u"layout") {
            QLayout* inner = read_layout(layout, parent_widget);
            if (inner == nullptr)
                continue;
            if (grid != nullptr)
                grid->addLayout(inner, cell.row, cell.column, cell.row_span, cell.column_span,
                                inner->alignment());
            else
                box->addLayout(inner);
        } else {
            skip_unexpected(owner);
        }
    }
}

QSpacerItem* Build::read_spacer(const QString& owner) {
    const QString name = xml_.attributes().value(QLatin1String("name")).toString();
    QSize size(0, 0);
    auto size_type = QSizePolicy::Expanding;
    bool vertical = false;
    while (xml_.readNextStartElement()) {
        if (xml_.name() != u"property") {
            skip_unexpected(owner);
            continue;
        }
        const auto p = read_property(name);
        if (!p)
            continue;
        if (p->name == "sizeHint" && p->plain.typeId() == QMetaType::QSize) {
            size = p->plain.toSize();
        } else if (p->kind == Property::Kind::Enum && p->name == "sizeType") {
            if (const auto v = enum_value<QSizePolicy::Policy>(p->keys))
                size_type = QSizePolicy::Policy(*v);
            else
                debug_printf("layout %s: spacer %s: cannot read sizeType \"%s\"",
                             layout_.constData(), name.toUtf8().constData(),
                             p->keys.toUtf8().constData());
        } else if (p->kind == Property::Kind::Enum && p->name == "orientation") {
            if (const auto v = enum_value<Qt::Orientation>(p->keys))
                vertical = *v == Qt::Vertical;
            else
                debug_printf("layout %s: spacer %s: cannot read orientation \"%s\"",
                             layout_.constData(), name.toUtf8().constData(),
                             p->keys.toUtf8().constData());
        }
    }
    if (xml_.hasError())
        return nullptr;
    return vertical ? new QSpacerItem(size.width(), size.height(), QSizePolicy::Minimum, size_type)
                    : new QSpacerItem(size.width(), size.height(), size_type, QSizePolicy::Minimum);
}

std::optional<Property> Build::read_property(const QString& owner) {
    Property p;
    p.name = xml_.attributes().value(QLatin1String("name")).toUtf8();
    bool read = false;
    QString kind;
    while (xml_.readNextStartElement()) {
        if (!kind.isEmpty()) {
            xml_.skipCurrentElement();
            continue;
        }
        kind = xml_.name().toString();
        read = read_value(p);
    }
    if (xml_.hasError())
        return std::nullopt;
    if (!read || p.name.isEmpty()) {
        debug_printf("layout %s: control %s: cannot read property %s (%s)", layout_.constData(),
                     owner.toUtf8().constData(), p.name.constData(),
                     p.name.isEmpty() ? "no name"
                     : kind.isEmpty() ? "no value"
                                      : kind.toUtf8().constData());
        return std::nullopt;
    }
    return p;
}

// Reads the value element the reader is on, up to its end; false when it cannot be read.
bool Build::read_value(Property& p) {
    const QStringView kind = xml_.name();
    if (kind == u"number") {
        const auto v = number(xml_.readElementText());
        p.plain = v ? QVariant(*v) : QVariant();
        return v.has_value();
    }
    if (kind == u"bool") {
        const QString text = xml_.readElementText().trimmed();
        p.plain = text == u"true";
        return text == u"true" || text == u"false";
    }
    if (kind == u"string") {
        p.plain = xml_.readElementText();
        return !xml_.hasError();
    }
    if (kind == u"enum" || kind == u"set") {
        p.kind = kind == u"enum" ? Property::Kind::Enum : Property::Kind::Set;
        p.keys = xml_.readElementText();
        return !xml_.hasError();
    }
    if (kind == u"size") {
        const auto v = read_sizes({u"width", u"height"});
        p.plain = v.value_or(QVariant());
        return v.has_value();
    }
    if (kind == u"rect") {
        const auto v = read_sizes({u"x", u"y", u"width", u"height"});
        p.plain = v.value_or(QVariant());
        return v.has_value();
    }
    if (kind == u"cursorShape") {
        const auto v = enum_value<Qt::CursorShape>(xml_.readElementText());
        p.plain = v ? QVariant::fromValue(QCursor(Qt::CursorShape(*v))) : QVariant();
        return v.has_value();
    }
    if (kind == u"sizepolicy") {
        const auto v = read_size_policy();
        p.plain = v ? QVariant::fromValue(*v) : QVariant();
        return v.has_value();
    }
    xml_.skipCurrentElement();
    return false;
}

// A <size> (width, height) or <rect> (x, y, width, height): every field once, each a number.
std::optional<QVariant> Build::read_sizes(std::initializer_list<QStringView> fields) {
    int values[4] = {0, 0, 0, 0};
    bool seen[4] = {false, false, false, false};
    bool ok = true;
    while (xml_.readNextStartElement()) {
        const auto at = std::find(fields.begin(), fields.end(), xml_.name());
        const auto i = static_cast<std::size_t>(at - fields.begin());
        if (at == fields.end() || seen[i]) {
            ok = false;
            xml_.skipCurrentElement();
            continue;
        }
        const auto v = number(xml_.readElementText());
        seen[i] = true;
        ok = ok && v.has_value();
        values[i] = v.value_or(0);
    }
    for (std::size_t i = 0; i < fields.size(); ++i)
        ok = ok && seen[i];
    if (!ok || xml_.hasError())
        return std::nullopt;
    if (fields.size() == 2)
        return QVariant(QSize(values[0], values[1]));
    return QVariant(QRect(values[0], values[1], values[2], values[3]));
}

std::optional<QSizePolicy> Build::read_size_policy() {
    const QXmlStreamAttributes attributes = xml_.attributes();
    QSizePolicy policy;
    bool ok = true;
    auto set_type = [&](const QString& text, bool horizontal) {
        const auto v = enum_value<QSizePolicy::Policy>(text);
        ok = ok && v.has_value();
        if (v && horizontal)
            policy.setHorizontalPolicy(QSizePolicy::Policy(*v));
        else if (v)
            policy.setVerticalPolicy(QSizePolicy::Policy(*v));
    };
    if (attributes.hasAttribute(QLatin1String("hsizetype")))
        set_type(attributes.value(QLatin1String("hsizetype")).toString(), true);
    if (attributes.hasAttribute(QLatin1String("vsizetype")))
        set_type(attributes.value(QLatin1String("vsizetype")).toString(), false);
    while (xml_.readNextStartElement()) {
        const QStringView tag = xml_.name();
        const auto v = number(xml_.readElementText());
        ok = ok && v.has_value();
        if (!v)
            continue;
        if (tag == u"horstretch")
            policy.setHorizontalStretch(*v);
        else if (tag == u"verstretch")
            policy.setVerticalStretch(*v);
        else if (tag == u"hsizetype")
            policy.setHorizontalPolicy(QSizePolicy::Policy(*v));
        else if (tag == u"vsizetype")
            policy.setVerticalPolicy(QSizePolicy::Policy(*v));
        else
            ok = false;
    }
    if (!ok || xml_.hasError())
        return std::nullopt;
    return policy;
}

// The value to set; an enum or set key is looked up in the receiving property's own enum.
QVariant Build::resolve(const QObject* o, const Property& p, const QString& owner) const {
    if (p.kind == Property::Kind::Plain)
        return p.plain;
    const QMetaObject* meta = o->metaObject();
    const int index = meta->indexOfProperty(p.name.constData());
    const QMetaEnum e = index >= 0 ? meta->property(index).enumerator() : QMetaEnum();
    bool ok = false;
    int value = 0;
    if (e.isValid()) {
        value = p.kind == Property::Kind::Set ? e.keysToValue(p.keys.toUtf8().constData(), &ok)
                                              : e.keyToValue(enum_key(p.keys).constData(), &ok);
    }
    if (!ok) {
        debug_printf("layout %s: control %s: cannot read property %s \"%s\"", layout_.constData(),
                     owner.toUtf8().constData(), p.name.constData(), p.keys.toUtf8().constData());
        return {};
    }
    return QVariant(value);
}

void Build::apply(QObject* o, const Property& p, const QString& owner) const {
    const QVariant value = resolve(o, p, owner);
    if (!value.isValid())
        return;
    // The root keeps its own place: of its geometry only the size is taken.
    if (o->isWidgetType() && o->parent() == parent_ && p.name == "geometry")
        static_cast<QWidget*>(o)->resize(value.toRect().size());
    else
        o->setProperty(p.name.constData(), value);
}

void Build::skip_unexpected(const QString& owner) {
    debug_printf("layout %s: %s: <%s> ignored", layout_.constData(), owner.toUtf8().constData(),
                 xml_.name().toUtf8().constData());
    xml_.skipCurrentElement();
}

}  // namespace

LayoutBuilder::LayoutBuilder(Callback callback) : callback_(std::move(callback)) {}

QWidget* LayoutBuilder::create(const QString& layout, QWidget* parent) {
    unknown_.clear();
    custom_.clear();
    error_.clear();
    const auto path = Resources::instance().resolve(layout);
    const QString file = QString::fromStdString(path.string());
    std::string bytes;
    if (!read_whole_file(path, bytes)) {
        error_ = QStringLiteral("cannot read %1").arg(file);
    } else {
        Build build(callback_, layout, parent, unknown_, custom_);
        if (QWidget* root = build.run(
                QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()))))
            return root;
        error_ = QStringLiteral("%1 is not a usable layout (%2)").arg(file, build.error());
    }
    debug_printf("layout %s: %s", layout.toUtf8().constData(), error_.toUtf8().constData());
    return nullptr;
}

}  // namespace velqa::platform::ui
