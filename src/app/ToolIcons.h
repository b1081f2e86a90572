// The toolbar's pictures, drawn here so that the program ships no image files.
#pragma once

#include <QIcon>

// The 32 by 32 picture of a toolbar command (32772 Sites Download ... 57670 Help, 46250 Cancel).
QIcon ToolIcon(int command);
