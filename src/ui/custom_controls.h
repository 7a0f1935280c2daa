// The custom control classes the layouts may name. Classes not built yet are placeholders: an
// empty container that keeps its layout children, so pages build and later work replaces the
// creator with the real class (ControlFactory::regist_control replaces by name).
#pragma once

#include <QFrame>
#include <QString>
#include <array>

namespace velqa::ui {

// Every class registered at start-up, in registration order.
inline constexpr std::array<const char*, 25> kCustomControlClasses = {
    "CCircleProgressUI",
    "CChartViewUI",
    "CWndUI",
    "CSelectPanelUI",
    "CDeviceKeyButtonUI",
    "CCloudShareListItemUI",
    "CUpdateInfoListItemUI",
    "CDeviceOptionUI",
    "CMpDevicePowerUI",
    "CComboEditContainerElementUI",
    "CHandImgButtonUI",
    "CHandImgSelectButtonUI",
    "CRedioMacroButtonUI",
    "CAudioRecordUI",
    "CLightControlUI",
    "CMacroControlUI",
    "CKeySetControlUI",
    "CDeviceProfileUI",
    "CShootControlUI",
    "CMagicControlUI",
    "CVoice6533ControlUI",
    "CDPIEditUI",
    "CZentovaUSBDevice",
    "CZentovaMousePadDevice",
    "CZentovaDA6533Device"};

// Stand-in for a class that a later part of the program implements.
class PlaceholderControl : public QFrame {
    Q_OBJECT

  public:
    explicit PlaceholderControl(QString class_name, QWidget* parent = nullptr);
    const QString& class_name() const { return class_name_; }

  private:
    QString class_name_;
};

// Registers the colour palette ("ColorPalette"), the classes built so far (the power widget) and a
// placeholder for every other class of kCustomControlClasses, keeping a creator already registered
// under that name (a real class registered earlier wins over its placeholder).
void register_custom_controls();

}  // namespace velqa::ui
