// A hot spot on the device picture: a key the user can pick, or a light zone that shows the
// lighting preview's colour. The preview repaints it many times a second, so its colour is
// painted directly instead of through the style sheet. A key hot spot is clicked like a button
// ("click" through the window's dispatch); the selected key and its light are highlighted.
#pragma once

#include <QFrame>
#include <QImage>
#include <cstdint>

namespace velqa::ui {

class CDeviceKeyButtonUI : public QFrame {
    Q_OBJECT

  public:
    explicit CDeviceKeyButtonUI(QWidget* parent = nullptr);

    // 0xAARRGGBB, alpha as the zone's brightness. Repaints only when the colour changed, and
    // then only the zone itself.
    void set_led_color(std::uint32_t argb);
    std::uint32_t led_color() const { return led_; }
    bool has_led_color() const { return has_led_; }
    // The selected key, or the selected key's light: an accent outline.
    void set_current(bool on);
    bool current() const { return current_; }

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void keep_background(const QPainter& painter);

    std::uint32_t led_ = 0;
    bool has_led_ = false;
    bool current_ = false;
    // What lies beneath the lit zone, as it was last painted: a new colour alone repaints the
    // zone over it, opaque, so the picture and the window behind it are not painted again.
    QImage background_;
    int repaints_over_background_ = 0;
};

// Registers CDeviceKeyButtonUI with the control factory (replacing its placeholder).
void register_device_key_button();

}  // namespace velqa::ui
