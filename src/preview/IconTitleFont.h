// The font of the preview's text: the user's icon title font.
#pragma once

#include "Handles.h"

// The font made from "IconFont" below HKCU\Control Panel\Desktop\WindowMetrics.
// Empty when the value cannot be read (missing, or longer than a LOGFONTW);
// an "MS Sans Serif" font of height 8 when the value cannot be made into a
// font. A shorter value leaves the rest of the LOGFONTW zero.
UniqueFont IconTitleFont();
