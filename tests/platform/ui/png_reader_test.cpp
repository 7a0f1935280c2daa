// The program's PNG reader gives what Qt's own gives, without loading any image plugin; a file
// named .png that is not one is still read as Qt would.
#include "platform/ui/png_reader.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QString>
#include <fstream>
#include <sstream>

#include "platform/ui/qt_test_app.h"
#include "support/temp_dir.h"

namespace velqa::platform::ui {
namespace {

QString skin(const char* file) {
    return QString::fromStdString((test::source_dir() / "skin" / file).string());
}

bool image_plugin_loaded() {
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find("/imageformats/") != std::string::npos;
}

// Qt's built-in handler, chosen by name without asking any plugin.
QImage qt_read(const QString& file, QSize scaled = {}) {
    QImageReader reader(file, "png");
    reader.setAutoDetectImageFormat(false);
    if (scaled.isValid())
        reader.setScaledSize(scaled);
    return reader.read();
}

TEST(PngReader, ReadsAsQtsOwnWithoutLoadingImagePluginsAndLeavesOtherFilesToQt) {
    test::qt_app();
    const QString logo = skin("common/logo.png");
    const QString picture = skin("common/no_device.png");
    const QImage logo_qt = qt_read(logo);
    const QImage picture_qt = qt_read(picture);
    const QImage scaled_qt = qt_read(picture, QSize(61, 37));
    ASSERT_FALSE(logo_qt.isNull());
    ASSERT_FALSE(picture_qt.isNull());
    ASSERT_FALSE(image_plugin_loaded()) << "a plugin was loaded before the reader was registered";

    register_png_reader();
    register_png_reader();  // a second call changes nothing
    EXPECT_EQ(QImage(logo), logo_qt);
    EXPECT_EQ(QPixmap(picture).toImage(),
              picture_qt.convertToFormat(QPixmap(picture).toImage().format()));
    QImageReader reader(picture);
    EXPECT_EQ(reader.format(), "png");
    EXPECT_EQ(reader.size(), picture_qt.size());
    reader.setScaledSize(QSize(61, 37));
    EXPECT_EQ(reader.read(), scaled_qt);
    EXPECT_FALSE(QIcon(logo).pixmap(logo_qt.size()).isNull());
    EXPECT_FALSE(image_plugin_loaded());

    // Not a PNG despite its name: declined, and found by its contents as before.
    test::TempDir dir;
    const QString xpm = QString::fromStdString((dir / "not_a.png").string());
    QFile file(xpm);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("/* XPM */\nstatic const char* x[] = {\"2 1 1 1\", \"a c #ff0000\", \"aa\"};\n");
    file.close();
    const QImage read = QImage(xpm);
    ASSERT_EQ(read.size(), QSize(2, 1));
    EXPECT_EQ(read.pixel(1, 0), qRgb(255, 0, 0));
}

}  // namespace
}  // namespace velqa::platform::ui
