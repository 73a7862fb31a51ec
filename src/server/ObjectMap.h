// The library's creatable classes, in order, ended by an entry without clsid.
#pragma once

#include "ObjectMapEntry.h"

extern ObjectMapEntry g_objectMap[];
