// The user guide installed with the program, opened by Help.
#pragma once

#include <QString>

// The guide's HTML file for a program in `programDir`: installed beside it in
// ../share/doc/tarn-manager, or in a build tree's docs folder. Empty when there is none.
QString FindUserGuide(const QString& programDir);
