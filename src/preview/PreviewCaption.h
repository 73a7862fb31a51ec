// The preview's caption: the text the host's string component gives for this
// module, or a caption made from the host product's name.
#pragma once

#include <string>

// Text 0 of the host's string component after LoadModule("FERROLANTH PDM",
// "Vellisto"). Empty when the component cannot be created, run or queried;
// GetProductName("FERROLANTH PDM") + " Virtual File" when LoadModule or
// GetString fails. The component is released before this returns.
std::wstring PreviewCaption();

// The default value of the host's installation key, from HKEY_LOCAL_MACHINE
// or else HKEY_CURRENT_USER (a plain, non-empty string only), else
// defaultName.
std::wstring GetProductName(const wchar_t* defaultName);
