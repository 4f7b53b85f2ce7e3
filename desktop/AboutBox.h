#pragma once
#include <QDialog>

namespace velmar {

// The program's name and version with its icon, and an OK button.
class AboutBox : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidthUnits = 235;
  static constexpr int kHeightUnits = 57;

  explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace velmar
