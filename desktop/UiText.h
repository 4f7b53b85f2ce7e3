#pragma once
#include <QMessageBox>
#include <QString>

#include "app/View.h"

namespace velmar {

// A text of the program's string table, in the current language, as Qt wants it.
QString UiText(int string_id);

// The Qt icon of a message box the window logic asks for.
QMessageBox::Icon BoxIcon(MessageIcon icon);

}  // namespace velmar
