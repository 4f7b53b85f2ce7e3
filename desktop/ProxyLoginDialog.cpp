#include "ProxyLoginDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "DialogUnitLayout.h"
#include "UiText.h"
#include "app/Strings.h"

namespace velmar {

ProxyLoginDialog::ProxyLoginDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(UiText(kStrProxyTitle));
  auto* layout = new DialogUnitLayout(this, kWidthUnits, kHeightUnits);
  layout->Place(new QGroupBox(this), 7, 30, 202, 51);

  auto* prompt = new QLabel(UiText(kStrProxyPrompt), this);
  prompt->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  prompt->setWordWrap(true);
  layout->Place(prompt, 23, 13, 169, 18);

  layout->Place(new QLabel(UiText(kStrLoginLabel), this), 20, 41, 56, 10);
  login_ = new QLineEdit(this);
  login_->setObjectName("login");
  layout->Place(login_, 77, 39, 116, 15);

  layout->Place(new QLabel(UiText(kStrPasswordLabel), this), 20, 64, 56, 12);
  password_ = new QLineEdit(this);
  password_->setObjectName("password");
  password_->setEchoMode(QLineEdit::Password);
  layout->Place(password_, 77, 60, 116, 15);

  auto* ok = new QPushButton(UiText(kStrOkButton), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  layout->Place(ok, 45, 84, 50, 14);
  auto* cancel = new QPushButton(UiText(kStrCancelButton), this);
  cancel->setObjectName("cancel");
  cancel->setAutoDefault(false);
  layout->Place(cancel, 120, 84, 50, 14);

  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  login_->setFocus();
}

std::optional<ProxyLogin> ProxyLoginDialog::Ask(QWidget* parent) {
  ProxyLoginDialog dialog(parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Values();
}

ProxyLogin ProxyLoginDialog::Values() const {
  return ProxyLogin{login_->text().toStdString(), password_->text().toStdString()};
}

void ProxyLoginDialog::Clear() {
  login_->clear();
  password_->clear();
  login_->setFocus();
}

int ProxyLoginDialog::exec() {
  // Asked again after a refused login: the earlier input is not offered again.
  Clear();
  return QDialog::exec();
}

void ProxyLoginDialog::open() {
  Clear();
  QDialog::open();
}

}  // namespace velmar
