// Writes pixels to a PNG file through the platform's imaging component (WIC,
// windowscodecs.dll, reached through COM).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// pixels: width x height values 0x00RRGGBB, top row first. Needs COM
// initialised on the calling thread. Returns the first failing HRESULT.
HRESULT WritePng(const std::wstring& path, int width, int height,
                 const std::vector<uint32_t>& pixels);
