#pragma once

// The nine looks of the program, met by Qt styles and palettes: the command
// id of a look (210-218) selects a widget style and a colour scheme close to
// the original one. Runs on the user-interface thread.
#include "platform/Types.h"

#include <QString>

// True for the ids 210 to 218.
bool IsAppLook(UINT id);
// Style and palette of the look for the whole application. Any other id is
// the Office 2007 look in its first (blue) style.
void ApplyAppLook(UINT id);
// The menu text of a look, e.g. "파랑 스타일(&B)".
QString AppLookText(UINT id);
