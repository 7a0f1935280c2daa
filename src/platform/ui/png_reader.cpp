#include "platform/ui/png_reader.h"

#include <QIODevice>
#include <QImage>
#include <QImageIOHandler>
#include <QImageIOPlugin>
#include <QImageReader>
#include <QStringList>
#include <QtPlugin>
#include <memory>

// Defined by moc for the plugin below (a static plugin: QT_STATICPLUGIN for this file).
extern const QStaticPlugin qt_static_plugin_VelqaPngReaderPlugin();

namespace velqa::platform::ui {
namespace {

// Set on the device while our handler's own reader picks its handler: the plugin then declines,
// and Qt takes its built-in PNG handler. On the device rather than in a thread-local flag: a
// device is read by one thread, and thread-local storage would make the program name the
// dynamic loader as a library.
constexpr char kInnerLookup[] = "velqaPngInnerLookup";

class InnerLookup {
  public:
    explicit InnerLookup(QIODevice* device) : device_(device) {
        if (device_ != nullptr)
            device_->setProperty(kInnerLookup, true);
    }
    ~InnerLookup() {
        if (device_ != nullptr)
            device_->setProperty(kInnerLookup, QVariant());
    }
    InnerLookup(const InnerLookup&) = delete;
    InnerLookup& operator=(const InnerLookup&) = delete;

  private:
    QIODevice* device_;
};

bool starts_as_png(QIODevice* device) {
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    return device != nullptr && device->isReadable() && device->peek(8) == signature;
}

// Qt's PNG handler behind a reader of its own; every option Qt's handler offers is passed on.
class PngHandler final : public QImageIOHandler {
  public:
    bool canRead() const override {
        // Qt asks this while it holds the lock its handler search takes, before anything is
        // read: the signature answers then, as it does for Qt's handler.
        bool yes = false;
        if (reader_) {
            InnerLookup inner(device());
            yes = reader_->canRead();
        } else {
            yes = starts_as_png(device());
        }
        if (yes)
            const_cast<PngHandler*>(this)->setFormat("png");
        return yes;
    }

    bool read(QImage* image) override {
        InnerLookup inner(device());
        return reader().read(image);
    }

    bool supportsOption(ImageOption option) const override {
        return option == Size || option == ImageFormat || option == ScaledSize ||
               option == Description || option == ImageTransformation;
    }

    QVariant option(ImageOption option) const override {
        InnerLookup inner(device());
        QImageReader& r = reader();
        switch (option) {
            case Size:
                return r.size();
            case ImageFormat:
                return r.imageFormat();
            case ScaledSize:
                return r.scaledSize();
            case ImageTransformation:
                return static_cast<int>(r.transformation());
            case Description: {
                // The form Qt's handler gives: "key: text" pairs between blank lines.
                QStringList pairs;
                for (const QString& key : r.textKeys())
                    pairs << key + QStringLiteral(": ") + r.text(key).simplified();
                return pairs.join(QStringLiteral("\n\n"));
            }
            default:
                return {};
        }
    }

    void setOption(ImageOption option, const QVariant& value) override {
        InnerLookup inner(device());
        if (option == ScaledSize)
            reader().setScaledSize(value.toSize());
    }

  private:
    QImageReader& reader() const {
        if (!reader_) {
            reader_ = std::make_unique<QImageReader>(device(), QByteArrayLiteral("png"));
            reader_->setAutoDetectImageFormat(false);
            // The outer reader applies the transformation the handler reports, as with Qt's own.
            reader_->setAutoTransform(false);
        }
        return *reader_;
    }

    mutable std::unique_ptr<QImageReader> reader_;
};

}  // namespace

class VelqaPngReaderPlugin final : public QImageIOPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "png_reader.json")

  public:
    Capabilities capabilities(QIODevice* device, const QByteArray& format) const override {
        if (format != "png" || device == nullptr || device->property(kInnerLookup).toBool() ||
            !starts_as_png(device))
            return {};
        return CanRead;
    }

    QImageIOHandler* create(QIODevice* device, const QByteArray& format) const override {
        auto* handler = new PngHandler;
        handler->setDevice(device);
        handler->setFormat(format);
        return handler;
    }
};

void register_png_reader() {
    static const bool registered = [] {
        qRegisterStaticPluginFunction(qt_static_plugin_VelqaPngReaderPlugin());
        return true;
    }();
    (void)registered;
}

}  // namespace velqa::platform::ui

#include "png_reader.moc"
