// The Buttons tab's map of the mouse: the picture row of the device page, which around its
// picture ("SelectPanel" with its key hot spots) shows one label per button, joined to the
// button by a leader line, so every assignment shows at a glance. The buttons' anchor points are
// the centres of the layout's key hot spots ("key_" + index), so another mouse needs a layout,
// not code; buttons left of the picture's middle get their label on the left.
//
// A click on a label sends "click" for it ("keymap_label_" + index) through the window's
// dispatch, which selects that button as a click on its hot spot does.
#pragma once

#include <QLabel>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <vector>

namespace velqa::ui {

class ButtonMap : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kLabelPrefix = "keymap_label_";

    explicit ButtonMap(QWidget* parent = nullptr);

    // One text per button, in index order: its label shows it (elided when it does not fit)
    // and the label's tooltip holds the button's name (names[i], may be empty) and the full
    // text. An empty text hides that label.
    void set_labels(const std::vector<QString>& texts, const std::vector<QString>& names);
    // The labels show only where the page asks (the Buttons tab); the map then asks for room
    // beside the picture.
    void set_labels_shown(bool shown);
    bool labels_shown() const { return shown_; }
    // The highlighted button's label and line, -1 for none.
    void set_selected(int index);
    int selected() const { return selected_; }

    QLabel* label(int index) const;
    // The full text of label `index` (the label itself may show it elided).
    QString label_text(int index) const;
    // Where button `index` sits on the map (the centre of its hot spot); null when unknown.
    QPointF anchor_point(int index) const;

    QSize sizeHint() const override;

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* picture() const;
    QWidget* hot_spot(int index) const;
    bool on_left(int index) const;
    QFont caption_font() const;
    double label_width() const;
    void scale_picture();
    void place_labels();
    void click(int index);

    QPointer<QWidget> panel_;
    std::vector<QPointer<QLabel>> labels_;
    std::vector<QString> texts_;
    bool shown_ = false;
    int selected_ = -1;
};

// Registers ButtonMap with the control factory.
void register_button_map();

}  // namespace velqa::ui
