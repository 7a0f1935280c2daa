// One row of the settings window's update list, and the busy ring of its status line.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "update/update_flow.h"

class QTimer;

namespace velqa::update {

class CUpdateInfoListItemUI : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kLayout = "XML\\CustomControlXML\\device_Update_list_item.xml";
    static constexpr const char* kClassName = "UpdateInfoListItem";
    static constexpr int kHeight = 40;

    explicit CUpdateInfoListItemUI(QWidget* parent = nullptr);

    // Shows `row`: name on the tick box, versions, the state's text, progress and done mark, and
    // the tick box's state as the row state allows. The row's user data becomes the package
    // address. Sends no notifications when the caller suppresses them.
    void show_row(const UpdateRow& row);

    QWidget* check_box() const { return check_; }        // "check_name_select"
    QWidget* old_rev() const { return old_rev_; }        // "OldRev"
    QWidget* update_rev() const { return update_rev_; }  // "updateRev"
    QWidget* status_text() const { return status_; }     // "update_status_text"
    QWidget* progress() const { return progress_; }      // "update_status_ing"
    QWidget* progress_value() const { return value_; }   // "update_progress_value"
    QWidget* done_mark() const { return done_; }         // "update_status_ok"
    bool ticked() const;

    void set_index(int index) { index_ = index; }
    int index() const { return index_; }

  private:
    QPointer<QWidget> check_, old_rev_, update_rev_, status_, progress_, value_, done_;
    int index_ = -1;
};

// A spinning arc: the window is asking the server.
class UpdateStatusRing : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kClassName = "UpdateStatusRing";
    explicit UpdateStatusRing(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    QTimer* timer_ = nullptr;
    int angle_ = 0;
};

}  // namespace velqa::update
