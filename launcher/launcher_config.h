// Build-time switches of the launcher; both false in the shipped build.
// TestMode takes the pack from "quillpad_con_setup.exe" in the current folder
// and stages on the desktop; TraceMode shows each trace text in a box.
#pragma once

#ifndef LAUNCHER_TEST_MODE
#define LAUNCHER_TEST_MODE 0
#endif
#ifndef LAUNCHER_TRACE_MODE
#define LAUNCHER_TRACE_MODE 0
#endif

constexpr bool TestMode = LAUNCHER_TEST_MODE != 0;
constexpr bool TraceMode = LAUNCHER_TRACE_MODE != 0;
