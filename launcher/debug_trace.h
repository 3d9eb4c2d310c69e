// DebugTrace: shows a trace text in a box captioned "DEBUG" when TraceMode is
// on; does nothing otherwise.
#pragma once

#include <string>

void DebugTrace(const std::string& text);
