// The toolbar's pictures, drawn here so that the program ships no image files.
#pragma once

#include <QIcon>
#include <QPalette>

// The 32 by 32 picture of a toolbar command (32772 Sites Download ... 57670 Help, 46250 Cancel),
// its lines in the palette's text colour on its paper, its colours lighter on a dark palette,
// so that it shows on a dark theme as on a light one.
QIcon ToolIcon(int command, const QPalette& palette);
