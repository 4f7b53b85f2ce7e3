#pragma once
#include <QDialog>
#include <optional>

#include "app/View.h"

class QLineEdit;

namespace velmar {

// Asks for the proxy's login and password. It opens empty every time, so a rejected login is
// never offered again.
class ProxyLoginDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidthUnits = 216;
  static constexpr int kHeightUnits = 105;

  explicit ProxyLoginDialog(QWidget* parent = nullptr);

  // Runs the dialog, opened empty; nothing when cancelled or closed.
  static std::optional<ProxyLogin> Ask(QWidget* parent);

  ProxyLogin Values() const;

  int exec() override;
  void open() override;

 private:
  void Clear();

  QLineEdit* login_ = nullptr;
  QLineEdit* password_ = nullptr;
};

}  // namespace velmar
