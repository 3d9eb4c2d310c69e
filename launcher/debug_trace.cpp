#include "launcher/debug_trace.h"

#include <windows.h>

#include "launcher/launcher_config.h"
#include "rtl/text.h"

void DebugTrace(const std::string& text) {
  if (!TraceMode) return;
  const std::u16string message = rtl::ToWide(text);
  MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(message.c_str()), L"DEBUG", MB_OK);
}
