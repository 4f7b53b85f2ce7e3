#pragma once
#include <QDialog>
#include <QString>
#include <functional>

#include "app/SettingsDialog.h"
#include "app/View.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace velmar {

// The Qt face of the settings dialog; every decision is the logic's. exec() runs it modally;
// when it returns the logic has ended (applied or cancelled), however the dialog was closed.
class SettingsDialogWidget : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidthUnits = 315;
  static constexpr int kHeightUnits = 287;

  // Shows a box with an OK button; tests replace it to answer without a modal box.
  using BoxHook = std::function<void(const QString& text, MessageIcon icon)>;

  SettingsDialogWidget(SettingsDialog& logic, QWidget* parent = nullptr);

  void SetBoxHook(BoxHook hook);

  void accept() override;  // "APPLY"
  void done(int result) override;

 private:
  void ShowState();
  void OnTestConnection();
  void OnFactoryReset();

  SettingsDialog& logic_;
  BoxHook show_box_;
  bool filling_ = false;
  QCheckBox* auto_detect_ = nullptr;
  QCheckBox* upgrade_check_ = nullptr;
  QCheckBox* login_start_ = nullptr;
  QLabel* port_caption_ = nullptr;
  QComboBox* port_list_ = nullptr;
  QPushButton* test_connection_ = nullptr;
};

}  // namespace velmar
