// The layout builder against Qt's own loader: every shipped layout must come out as the same tree,
// and a broken file must build nothing.
#include <QBoxLayout>
#include <QBuffer>
#include <QDebug>
#include <QDirIterator>
#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QMetaProperty>
#include <QPointer>
#include <QSlider>
#include <QSpacerItem>
#include <QUiLoader>
#include <QXmlStreamReader>
#include <memory>

#include "platform/ui/control_factory.h"
#include "platform/ui/layout_builder.h"
#include "ui_fixture.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;

// Stands in for every custom class; both builders get it from the same callback or factory.
class StandIn : public QFrame {};

// Qt's loader as the program used it: our callback, then the factory, then Qt's classes.
class ReferenceLoader : public QUiLoader {
  public:
    explicit ReferenceLoader(const pui::LayoutBuilder::Callback& callback)
        : QUiLoader(nullptr), callback_(callback) {
        clearPluginPaths();
    }
    std::vector<QString> custom;

    QWidget* createWidget(const QString& class_name, QWidget* parent,
                          const QString& name) override {
        QWidget* w = callback_ ? callback_(class_name) : nullptr;
        if (w == nullptr)
            w = pui::ControlFactory::instance().create_control(class_name);
        if (w == nullptr)
            return QUiLoader::createWidget(class_name, parent, name);
        if (parent != nullptr)
            w->setParent(parent);
        w->setObjectName(name);
        w->setProperty(pui::kClassProperty, class_name);
        custom.push_back(class_name);
        return w;
    }

  private:
    const pui::LayoutBuilder::Callback& callback_;
};

// Qt's loader loads every Designer plugin under the library paths as it is made (Qt Quick's among
// them): none is wanted here.
std::unique_ptr<ReferenceLoader> reference_loader(const pui::LayoutBuilder::Callback& callback) {
    const QStringList saved = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({});
    auto loader = std::make_unique<ReferenceLoader>(callback);
    QCoreApplication::setLibraryPaths(saved);
    return loader;
}

QString shown(const QVariant& v) {
    QString text;
    QDebug(&text).nospace() << v;
    return text;
}

// Walks two trees side by side and records every difference with the control's path.
class TreeDiff {
  public:
    std::vector<QString> differences;

    // A widget or layout, then its child widgets and layouts in order.
    void tree(const QObject* ours, const QObject* theirs, const QString& path) {
        if (ours->isWidgetType() != theirs->isWidgetType()) {
            differ(path, "kind", ours->metaObject()->className(),
                   theirs->metaObject()->className());
            return;
        }
        if (ours->isWidgetType())
            objects(ours, theirs, path);
        else
            layouts(static_cast<const QLayout*>(ours), static_cast<const QLayout*>(theirs), path);
        const auto ours_children = children(ours);
        const auto theirs_children = children(theirs);
        if (ours_children.size() != theirs_children.size()) {
            differ(path, "children", QString::number(ours_children.size()),
                   QString::number(theirs_children.size()));
            return;
        }
        for (std::size_t i = 0; i < ours_children.size(); ++i) {
            tree(ours_children[i], theirs_children[i], path + "/" + ours_children[i]->objectName());
        }
    }

  private:
    // Widgets and layouts only: Qt's loader also leaves a translation watcher on the root.
    static std::vector<const QObject*> children(const QObject* o) {
        std::vector<const QObject*> list;
        for (const QObject* c : o->children()) {
            if (c->isWidgetType() || qobject_cast<const QLayout*>(c) != nullptr)
                list.push_back(c);
        }
        return list;
    }

    static QList<QByteArray> dynamic_names(const QObject* o) {
        QList<QByteArray> names;
        for (const QByteArray& name : o->dynamicPropertyNames()) {
            if (!name.startsWith("_q_"))
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    void differ(const QString& path, const QString& what, const QString& ours,
                const QString& theirs) {
        differences.push_back(path + " " + what + ": " + ours + " (Qt's loader: " + theirs + ")");
    }
    void same(const QString& path, const QString& what, const QVariant& ours,
              const QVariant& theirs) {
        if (ours != theirs)
            differ(path, what, shown(ours), shown(theirs));
    }

    // Class, name and every declared and dynamic property.
    void objects(const QObject* ours, const QObject* theirs, const QString& path) {
        const QMetaObject* meta = ours->metaObject();
        same(path, "class", meta->className(), theirs->metaObject()->className());
        same(path, "objectName", ours->objectName(), theirs->objectName());
        if (meta != theirs->metaObject())
            return;
        for (int i = 0; i < meta->propertyCount(); ++i) {
            const QMetaProperty p = meta->property(i);
            // Pointers (a text edit's document) differ by nature.
            const bool pointer = p.metaType().flags() & QMetaType::IsPointer;
            if (!p.isReadable() || pointer || !p.metaType().isEqualityComparable())
                continue;
            same(path, p.name(), p.read(ours), p.read(theirs));
        }
        // Qt's own bookkeeping ("_q_..."): the style's, and the loader's translation notes.
        const auto ours_names = dynamic_names(ours);
        const auto reference = dynamic_names(theirs);
        same(path, "dynamic properties", QVariant::fromValue(ours_names),
             QVariant::fromValue(reference));
        for (const QByteArray& name : ours_names)
            same(path, name, ours->property(name), theirs->property(name));
    }

    void layouts(const QLayout* ours, const QLayout* theirs, const QString& path) {
        objects(ours, theirs, path);
        same(path, "contentsMargins", QVariant::fromValue(ours->contentsMargins()),
             QVariant::fromValue(theirs->contentsMargins()));
        same(path, "count", ours->count(), theirs->count());
        const auto* box = qobject_cast<const QBoxLayout*>(ours);
        const auto* grid = qobject_cast<const QGridLayout*>(ours);
        if (grid != nullptr) {
            const auto* other = static_cast<const QGridLayout*>(theirs);
            same(path, "horizontalSpacing", grid->horizontalSpacing(), other->horizontalSpacing());
            same(path, "verticalSpacing", grid->verticalSpacing(), other->verticalSpacing());
        }
        for (int i = 0; i < std::min(ours->count(), theirs->count()); ++i) {
            QLayoutItem* a = ours->itemAt(i);
            QLayoutItem* b = theirs->itemAt(i);
            const QString item = path + "[" + QString::number(i) + "]";
            same(item, "widget", a->widget() ? a->widget()->objectName() : QString(),
                 b->widget() ? b->widget()->objectName() : QString());
            same(item, "layout", a->layout() ? a->layout()->objectName() : QString(),
                 b->layout() ? b->layout()->objectName() : QString());
            same(item, "spacer", a->spacerItem() != nullptr, b->spacerItem() != nullptr);
            same(item, "alignment", int(a->alignment()), int(b->alignment()));
            if (a->spacerItem() != nullptr && b->spacerItem() != nullptr) {
                same(item, "sizeHint", a->sizeHint(), b->sizeHint());
                same(item, "sizePolicy", QVariant::fromValue(a->spacerItem()->sizePolicy()),
                     QVariant::fromValue(b->spacerItem()->sizePolicy()));
                same(item, "expandingDirections", int(a->expandingDirections()),
                     int(b->expandingDirections()));
            }
            if (box != nullptr)
                same(item, "stretch", box->stretch(i),
                     static_cast<const QBoxLayout*>(theirs)->stretch(i));
            if (grid != nullptr) {
                int pa[4];
                int pb[4];
                grid->getItemPosition(i, &pa[0], &pa[1], &pa[2], &pa[3]);
                static_cast<const QGridLayout*>(theirs)->getItemPosition(i, &pb[0], &pb[1], &pb[2],
                                                                         &pb[3]);
                for (int k = 0; k < 4; ++k)
                    same(item, "cell", pa[k], pb[k]);
            }
        }
    }
};

std::vector<QString> shipped_layouts() {
    std::vector<QString> files;
    const QString root = QString::fromStdString((source_dir() / "skin").string());
    QDirIterator it(root + "/XML", {"*.xml"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QXmlStreamReader xml(&file);
        if (xml.readNextStartElement() && xml.name() == u"ui")
            files.push_back(path.mid(root.size() + 1));
    }
    std::sort(files.begin(), files.end());
    return files;
}

class LayoutBuilderTest : public ::testing::Test {
  protected:
    void SetUp() override { qt_app(); }

    // Builds `file` (under the resource root, holding `bytes`) with both builders, alone and
    // inside a window, and expects the same trees.
    void expect_same_tree(const QString& file, const QByteArray& bytes) {
        for (const bool in_window : {false, true}) {
            QWidget ours_parent;
            QWidget theirs_parent;
            pui::LayoutBuilder builder(callback_);
            QWidget* ours = builder.create(file, in_window ? &ours_parent : nullptr);
            loader_->custom.clear();
            QBuffer buffer;
            buffer.setData(bytes);
            QWidget* theirs = loader_->load(&buffer, in_window ? &theirs_parent : nullptr);
            std::unique_ptr<QWidget> own_ours(in_window ? nullptr : ours);
            std::unique_ptr<QWidget> own_theirs(in_window ? nullptr : theirs);
            const std::string where = file.toStdString() + (in_window ? " in a window" : "");
            ASSERT_NE(theirs, nullptr) << where;
            ASSERT_NE(ours, nullptr) << where;
            EXPECT_TRUE(builder.unknown_classes().empty()) << where;
            EXPECT_EQ(builder.custom_classes(), loader_->custom) << where;
            TreeDiff diff;
            diff.tree(ours, theirs, ours->objectName());
            QString report;
            for (std::size_t i = 0; i < std::min<std::size_t>(diff.differences.size(), 20); ++i)
                report += "\n  " + diff.differences[i];
            EXPECT_TRUE(diff.differences.empty()) << where << ": " << diff.differences.size()
                                                  << " difference(s)" << report.toStdString();
        }
    }

    // The callback makes every custom class the factory does not know.
    const pui::LayoutBuilder::Callback callback_ = [](const QString& cls) -> QWidget* {
        if (cls.startsWith('Q') || pui::ControlFactory::instance().is_registered(cls))
            return nullptr;
        return new StandIn;
    };
    const std::unique_ptr<ReferenceLoader> loader_ = reference_loader(callback_);
};

TEST_F(LayoutBuilderTest, EveryShippedLayoutBuildsTheTreeQtsLoaderBuilds) {
    ASSERT_TRUE(load_shipped_skin());
    // The factory makes the most used custom class.
    pui::ControlFactory::instance().regist_control("DeviceKeyButton", [] { return new StandIn; });
    const auto files = shipped_layouts();
    ASSERT_GE(files.size(), 17u);
    for (const QString& file : files) {
        QFile xml(QString::fromStdString((source_dir() / "skin").string()) + "/" + file);
        ASSERT_TRUE(xml.open(QIODevice::ReadOnly)) << file.toStdString();
        expect_same_tree(file, xml.readAll());
    }
}

// What Designer may write that the skin does not use yet: grid cells and spans, item alignment,
// a layout inside an item, stretch attributes, margins left to the builder, placed children.
TEST_F(LayoutBuilderTest, DesignerFeaturesTheSkinDoesNotUseYetBuildAsQtsLoaderBuildsThem) {
    TempDir dir;
    pui::Resources::instance().set_resource_path(dir.path());
    const std::string ui = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><class>F</class>
<widget class="QWidget" name="root">
 <property name="geometry"><rect><x>30</x><y>40</y><width>300</width><height>200</height></rect></property>
 <layout class="QGridLayout" name="grid" rowstretch="1,2" columnstretch="0,3" rowminimumheight="5">
  <property name="horizontalSpacing"><number>7</number></property>
  <property name="verticalSpacing"><number>3</number></property>
  <item row="0" column="0" rowspan="2" alignment="Qt::AlignRight|Qt::AlignVCenter">
   <widget class="QLabel" name="tall"><property name="text"><string>T</string></property></widget>
  </item>
  <item row="0" column="1" colspan="2">
   <layout class="QHBoxLayout" name="inner" stretch="2,0,1">
    <property name="margin"><number>4</number></property>
    <item alignment="Qt::AlignTop"><widget class="QPushButton" name="a">
     <property name="sizePolicy"><sizepolicy hsizetype="Expanding" vsizetype="Fixed"><horstretch>2</horstretch><verstretch>0</verstretch></sizepolicy></property>
     <property name="cursor"><cursorShape>PointingHandCursor</cursorShape></property>
    </widget></item>
    <item><spacer name="gap"><property name="orientation"><enum>Qt::Vertical</enum></property>
     <property name="sizeType"><enum>QSizePolicy::Fixed</enum></property>
     <property name="sizeHint" stdset="0"><size><width>4</width><height>9</height></size></property></spacer></item>
    <item><widget class="Dial" name="dial"><property name="ledRadius" stdset="0"><number>6</number></property></widget></item>
   </layout>
  </item>
  <item row="1" column="1">
   <widget class="QWidget" name="holder">
    <layout class="QVBoxLayout" name="holder_layout">
     <property name="leftMargin"><number>2</number></property>
     <item><widget class="QStackedWidget" name="stack">
      <widget class="QWidget" name="page1">
       <property name="geometry"><rect><x>5</x><y>6</y><width>50</width><height>60</height></rect></property>
       <layout class="QHBoxLayout" name="page1_layout"><item><widget class="QCheckBox" name="check"/></item></layout>
      </widget>
      <widget class="Dial" name="page2"><property name="geometry"><rect><x>1</x><y>2</y><width>3</width><height>4</height></rect></property></widget>
     </widget></item>
    </layout>
   </widget>
  </item>
  <item row="2" column="2"><widget class="QWidget" name="plain">
   <widget class="QLabel" name="placed"><property name="geometry"><rect><x>8</x><y>9</y><width>10</width><height>11</height></rect></property>
    <property name="alignment"><set>Qt::AlignRight|Qt::AlignVCenter</set></property></widget>
  </widget></item>
  <item row="3" column="0"><widget class="QTextEdit" name="notes"/></item>
  <item row="3" column="1"><widget class="QPlainTextEdit" name="log"/></item>
  <item row="3" column="2"><widget class="QScrollBar" name="bar"><property name="orientation"><enum>Qt::Horizontal</enum></property></widget></item>
 </layout>
</widget>
<resources/><connections/>
</ui>
)";
    write_text(dir / "XML/features.xml", ui);
    expect_same_tree("XML/features.xml", QByteArray::fromStdString(ui));
}

// A broken file builds nothing and leaves nothing behind; a value that cannot be read is skipped
// with a line that names the file, the control and the property, and the rest still builds.
TEST_F(LayoutBuilderTest, BrokenFilesBuildNothingAndBadValuesAreSkippedWithAReason) {
    TempDir dir;
    pui::Resources::instance().set_resource_path(dir.path());
    std::vector<QPointer<QWidget>> made;
    pui::LayoutBuilder builder([&](const QString& cls) -> QWidget* {
        if (cls != "Dial")
            return nullptr;
        made.emplace_back(new StandIn);
        return made.back();
    });
    const std::string head =
        R"(<ui version="4.0"><widget class="QWidget" name="root"><layout class="QVBoxLayout" name="l">)"
        R"(<item><widget class="QStackedWidget" name="stack"><widget class="QWidget" name="page">)"
        R"(<widget class="Dial" name="dial"/></widget></widget></item>)"
        R"(<item><layout class="QHBoxLayout" name="inner"><item><widget class="Dial" name="d2"/></item>)";
    const std::string tail = "</layout></item></layout></widget></ui>";
    const std::string deep = R"(<ui version="4.0">)" + [] {
        std::string nest;
        for (int i = 0; i < 300; ++i)
            nest += R"(<widget class="QWidget" name="w">)";
        return nest;
    }();
    const std::pair<std::string, std::string> broken[] = {
        {"cut.xml", head},                                      // cut short mid-way
        {"garbage.xml", head + tail + "<ui/>"},                 // a whole tree, then garbage
        {"mismatch.xml", head + "</widget>" + tail},            // tags that do not match
        {"deep.xml", deep},                                     // nested past any real layout
        {"menu.xml", "<Menu><MenuElement name=\"m\"/></Menu>"}  // not a Designer file
    };
    for (const auto& [file, text] : broken) {
        write_text(dir / ("XML/" + file), text);
        platform::DebugCapture debug;
        QWidget parent;
        made.clear();
        EXPECT_EQ(builder.create(QString::fromStdString("XML/" + file), &parent), nullptr) << file;
        EXPECT_TRUE(parent.children().isEmpty()) << file;
        for (const auto& w : made)
            EXPECT_TRUE(w.isNull()) << file << ": a control outlived its broken file";
        EXPECT_TRUE(debug.contains("layout XML/" + file)) << file;
    }

    write_text(dir / "XML/values.xml",
               ui_layout(ui_widget(
                   "QSlider", "volume",
                   R"(<property name="maximumWidth"><number>wide</number></property>)"
                   R"(<property name="orientation"><enum>Qt::Sideways</enum></property>)"
                   R"(<property name="minimumSize"><size><width>3</width></size></property>)"
                   R"(<property name="palette"><palette/></property>)"
                   R"(<property name="maximum"><number>42</number></property>)")));
    platform::DebugCapture debug;
    std::unique_ptr<QWidget> root(builder.create("XML/values.xml"));
    ASSERT_NE(root, nullptr);
    auto* slider = root->findChild<QSlider*>("volume");
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->maximum(), 42);
    EXPECT_EQ(slider->maximumWidth(), QWIDGETSIZE_MAX);
    EXPECT_EQ(slider->orientation(), Qt::Vertical);
    EXPECT_EQ(slider->minimumSize(), QSize(0, 0));
    for (const char* property : {"maximumWidth", "orientation", "minimumSize", "palette"}) {
        EXPECT_TRUE(debug.contains("layout XML/values.xml: control volume: cannot read property " +
                                   std::string(property)))
            << property;
    }
}

}  // namespace
}  // namespace velqa::test
