// The battery and link widget of a device page: battery level, charging state, cable or
// receiver, and for the mouse pad the phone lying on it. Fed the 6-byte power status the page
// polls from the device.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace velqa::ui {

class CMpDevicePowerUI : public QWidget {
    Q_OBJECT

  public:
    // The layout the widget is built from, and its class name in layouts.
    static constexpr const char* kLayout = "XML\\CustomControlXML\\MpDevicePower.xml";
    static constexpr const char* kClassName = "MpDevicePower";

    explicit CMpDevicePowerUI(QWidget* parent = nullptr);

    QString class_name() const { return QString::fromLatin1(kClassName); }

    // Device type of the owning page (1 keyboard, 2 mouse, 3 mouse pad) and a value kept with it.
    void set_device(std::uint32_t type, std::uint32_t value);
    std::uint32_t device_type() const { return type_; }
    std::uint32_t device_value() const { return value_; }

    // Shows or hides the whole display ("device_power_Layout").
    void show_layout(bool on);

    // Shows a power status: byte 0 battery percent, 1 charging state (0 no, 1 charging,
    // 2 charged), 3 link (non-zero: receiver), 5 phone type (mouse pad only). At most 64 bytes
    // are taken; shorter input (or none) counts as zero bytes. Does nothing when the layout
    // lacks one of the controls it shows.
    void show_status(const std::uint8_t* status, std::size_t length);
    // The first six bytes of the last status given to show_status (zero-padded), whether or not
    // the layout could show it; nothing before the first.
    const std::optional<std::array<std::uint8_t, 6>>& last_status() const { return last_status_; }

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    enum Part {
        kValue,
        kWirelessLogo,
        kWirelessText,
        kCableText,
        kProgress,
        kBattery,
        kCharging,
        kChargingText,
        kPhone,
        kLayoutPart,
        kPartCount
    };
    QWidget* part(Part which);

    std::uint32_t type_ = 0;
    std::uint32_t value_ = 0;
    std::array<QPointer<QWidget>, kPartCount> parts_;
    std::optional<std::array<std::uint8_t, 6>> last_status_;
};

// Registers CMpDevicePowerUI with the control factory (replacing a placeholder).
void register_power_widget();

}  // namespace velqa::ui
