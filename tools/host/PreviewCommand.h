// tvdhost preview FILE [--size WxH] [--caption TEXT | --no-strings] --png OUT.png
//
// Plays the host's preview pane: a top-level window of the given client
// size, the host's string component for this process (the caption given, or
// with --no-strings none for the plugin, so that its fallback shows), a
// preview child filling the window through CreatePreview, ShowFile, one
// paint, and the child's pixels read back and written as a PNG.
#pragma once

#include "HostSession.h"

#include <string>
#include <vector>

// The exit code: 0 when the PNG was written, 1 when a call failed, 2 for
// arguments that were not understood, 3 when the library or the format
// object could not be had. The session is started here, after the string
// component is in place, and finished before returning.
int RunPreviewCommand(HostSession& session, const std::vector<std::wstring>& args);
