// The colour palette control: hue across, saturation down, at full brightness. A pick by the
// user (a click, a drag, or the arrow keys) sends "colorchanged" (wParam = 0xRRGGBB) to the
// window; set_select_color is silent.
#pragma once

#include <QColor>
#include <QWidget>

namespace velqa::platform::ui {

class ColorPalette : public QWidget {
    Q_OBJECT

  public:
    explicit ColorPalette(QWidget* parent = nullptr);

    void set_select_color(QColor color);
    QColor select_color() const { return color_; }

    // The colour at a point of the palette (clamped into it).
    QColor color_at(QPoint pos) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void pick(QPoint pos);
    QColor color_;
    QPoint marker_;
};

}  // namespace velqa::platform::ui
