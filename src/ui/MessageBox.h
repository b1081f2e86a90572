// The program's message boxes: modal, caption "QOB" unless another is given, buttons named from
// the string table. The dialogs use it, and so can the main window's frame.
#pragma once

#include <QString>

#include "document/Frame.h"

class QWidget;

namespace ui {

// `type` as the frame's: MB_OK, MB_OKCANCEL, MB_YESNO or MB_YESNOCANCEL, with an icon bit such as
// MB_ICONWARNING. Returns IDOK, IDCANCEL, IDYES or IDNO.
int QobMessageBox(QWidget* parent, const QString& text, unsigned type = MB_OK, const QString& caption = QString());

}  // namespace ui
