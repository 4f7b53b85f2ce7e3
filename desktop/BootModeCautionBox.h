#pragma once
#include <QDialog>

namespace velmar {

// Shown before an R710 tool is updated: how to put the tool into boot mode, the keys to
// press, and what its screen shows once it is there.
class BootModeCautionBox : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidthUnits = 180;
  static constexpr int kHeightUnits = 165;

  explicit BootModeCautionBox(QWidget* parent = nullptr);
};

}  // namespace velmar
