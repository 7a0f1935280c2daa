// A device's tile in the main window's device strip: its picture and name, the option that
// selects its page and the light-sync box. Visible exactly while the device is linked.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace velqa::ui {

class CDeviceOptionUI : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kLayout = "XML\\CustomControlXML\\DeviceOption.xml";
    static constexpr const char* kClassName = "DeviceOption";

    explicit CDeviceOptionUI(QWidget* parent = nullptr);

    QWidget* option() const { return option_; }          // "device_select"
    QWidget* sync_box() const { return sync_; }          // "synchro_device_select"
    QWidget* name_label() const { return name_; }        // "device_select_name"
    QWidget* link_label() const { return link_label_; }  // "device_select_link"

    // Showing sets the linked flag, hiding clears it.
    void set_linked(bool on) { setVisible(on); }
    bool linked() const { return !isHidden(); }
    bool selected() const;
    void set_selected(bool on);
    bool sync_on() const;
    void set_sync(bool on);

    void set_device_type(int type, int sub_type) {
        type_ = type;
        sub_type_ = sub_type;
    }
    int device_type() const { return type_; }
    int device_sub_type() const { return sub_type_; }
    void set_header(const QString& name) { header_ = name; }
    const QString& header() const { return header_; }
    // The page container the option switches and the page's index in it.
    void set_binding(const QString& container, int index) {
        container_ = container;
        page_index_ = index;
    }
    const QString& bound_container() const { return container_; }
    int page_index() const { return page_index_; }
    void set_power(const QString& container, int index) {
        power_container_ = container;
        power_index_ = index;
    }
    const QString& power_container() const { return power_container_; }
    int power_index() const { return power_index_; }
    void set_kind_name(const QString& name) { kind_name_ = name; }
    const QString& kind_name() const { return kind_name_; }
    void set_page(QWidget* page) { page_ = page; }
    QWidget* page() const { return page_; }

    // The four pictures (normal, selected, light-sync normal, light-sync selected) under the
    // resource root and the name's text id; the shown picture follows selection and sync.
    void set_images(const QString& normal, const QString& selected, const QString& sync_normal,
                    const QString& sync_selected);
    void set_name_text_id(const QString& id);
    // The link line under the name ("cable", "2.4G" as language texts; empty hides it).
    void set_link_text_id(const QString& id);
    // Re-picks the picture for the current selection and sync state.
    void update_picture();

  private:
    QPointer<QWidget> option_;
    QPointer<QWidget> sync_;
    QPointer<QWidget> name_;
    QPointer<QWidget> link_label_;
    int type_ = 0;
    int sub_type_ = 0;
    QString header_;
    QString container_;
    int page_index_ = -1;
    QString power_container_;
    int power_index_ = -1;
    QString kind_name_;
    QPointer<QWidget> page_;
    QString images_[4];
};

// Registers CDeviceOptionUI with the control factory (replacing its placeholder).
void register_device_option();

}  // namespace velqa::ui
