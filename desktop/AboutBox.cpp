#include "AboutBox.h"

#include <QLabel>
#include <QPushButton>

#include "Artwork.h"
#include "DialogUnitLayout.h"
#include "UiText.h"
#include "app/Strings.h"

namespace velmar {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(UiText(kStrAboutTitle));
  const QIcon icon = ApplicationIcon();
  setWindowIcon(icon);

  auto* layout = new DialogUnitLayout(this, kWidthUnits, kHeightUnits);
  const DialogUnits units(font());
  auto* picture = new QLabel(this);
  picture->setObjectName("icon");
  const int side = units.Y(20);
  picture->setPixmap(icon.pixmap(QSize(side, side)));
  picture->setAlignment(Qt::AlignCenter);
  layout->Place(picture, 11, 14, 21, 20);

  auto* name = new QLabel(UiText(kStrWindowTitle), this);
  name->setObjectName("name");
  name->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  layout->Place(name, 40, 18, 130, 12);

  auto* ok = new QPushButton(UiText(kStrOkButton), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  layout->Place(ok, 178, 7, 50, 16);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace velmar
