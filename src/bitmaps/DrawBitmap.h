// Block transfer of a whole bitmap or a part of it onto a device context.
#pragma once

#include "Handles.h"

// Copies src of bitmap (the whole bitmap when null) onto dest of dc (src's
// place and size when null). Equal sizes use BitBlt; otherwise StretchBlt
// with the COLORONCOLOR stretch mode, which stays set on dc. Returns the
// result of the transfer.
BOOL DrawBitmap(HDC dc, HBITMAP bitmap, const RECT* dest, const RECT* src);
