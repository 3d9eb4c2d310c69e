#include "launcher/debug_trace.h"

#include <windows.h>

#include "launcher/launcher_config.h"
#include "os/win_text.h"
#include "rtl/text.h"

void DebugTrace(const std::string& text) {
  if (!TraceMode) return;
  const std::u16string message = rtl::ToWide(text);
  MessageBoxW(nullptr, os::WinText(message), L"DEBUG", MB_OK);
}
