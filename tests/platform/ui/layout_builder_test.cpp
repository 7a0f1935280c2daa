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

    void widgets(const QWidget* ours, const QWidget* theirs, const QString& path) {
        objects(ours, theirs, path);
        const auto ours_children = children(ours);
        const auto theirs_children = children(theirs);
        if (ours_children.size() != theirs_children.size()) {
            differ(path, "children", QString::number(ours_children.size()),
                   QString::number(theirs_children.size()));
            return;
        }
        for (std::size_t i = 0; i < ours_children.size(); ++i) {
            const QObject* a = ours_children[i];
            const QObject* b = theirs_children[i];
            const QString child = path + "/" + a->objectName();
            if (a->isWidgetType() != b->isWidgetType()) {
                differ(child, "kind", a->metaObject()->className(), b->metaObject()->className());
            } else if (a->isWidgetType()) {
                widgets(static_cast<const QWidget*>(a), static_cast<const QWidget*>(b), child);
            } else {
                layouts(static_cast<const QLayout*>(a), static_cast<const QLayout*>(b), child);
            }
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
            if (!p.isReadable() || !p.metaType().isEqualityComparable())
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

TEST(LayoutBuilder, EveryShippedLayoutBuildsTheTreeQtsLoaderBuilds) {
    qt_app();
    ASSERT_TRUE(load_shipped_skin());
    // The factory knows the most used class; the callback makes every other custom class.
    pui::ControlFactory::instance().regist_control("DeviceKeyButton", [] { return new StandIn; });
    const pui::LayoutBuilder::Callback callback = [](const QString& cls) -> QWidget* {
        if (cls.startsWith('Q') || pui::ControlFactory::instance().is_registered(cls))
            return nullptr;
        return new StandIn;
    };
    const auto loader = reference_loader(callback);
    const auto files = shipped_layouts();
    ASSERT_GE(files.size(), 17u);
    for (const QString& file : files) {
        QFile xml(QString::fromStdString((source_dir() / "skin").string()) + "/" + file);
        ASSERT_TRUE(xml.open(QIODevice::ReadOnly)) << file.toStdString();
        const QByteArray bytes = xml.readAll();
        // Alone, as nested layouts are built, and inside a window, as windows are.
        for (const bool in_window : {false, true}) {
            QWidget ours_parent;
            QWidget theirs_parent;
            pui::LayoutBuilder builder(callback);
            QWidget* ours = builder.create(file, in_window ? &ours_parent : nullptr);
            loader->custom.clear();
            QBuffer buffer;
            buffer.setData(bytes);
            QWidget* theirs = loader->load(&buffer, in_window ? &theirs_parent : nullptr);
            std::unique_ptr<QWidget> own_ours(in_window ? nullptr : ours);
            std::unique_ptr<QWidget> own_theirs(in_window ? nullptr : theirs);
            const std::string where = file.toStdString() + (in_window ? " in a window" : "");
            ASSERT_NE(theirs, nullptr) << where;
            ASSERT_NE(ours, nullptr) << where;
            EXPECT_TRUE(builder.unknown_classes().empty()) << where;
            EXPECT_EQ(builder.custom_classes(), loader->custom) << where;
            TreeDiff diff;
            diff.widgets(ours, theirs, ours->objectName());
            QString report;
            for (std::size_t i = 0; i < std::min<std::size_t>(diff.differences.size(), 20); ++i)
                report += "\n  " + diff.differences[i];
            EXPECT_TRUE(diff.differences.empty()) << where << ": " << diff.differences.size()
                                                  << " difference(s)" << report.toStdString();
        }
    }
}

}  // namespace
}  // namespace velqa::test
