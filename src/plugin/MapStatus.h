// Turns a document's status into the result code the host understands.
#pragma once

#include "DocStatus.h"

#include <windows.h>

HRESULT MapStatus(DocStatus status);
