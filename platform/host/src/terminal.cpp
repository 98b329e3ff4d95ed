// terminal.cpp - how windows show on the host: without a terminal nothing
// is drawn, a modal dialog cannot be shown, and message box texts go to
// standard error.
#include "internal.h"
#include "window_internal.h"

namespace host {

void MarkDirty(Window * /*window*/) {}
void Repaint(Window * /*window*/) {}
void Forget(Window * /*window*/) {}

INT_PTR RunModal(LPCDLGTEMPLATEW /*dialogTemplate*/, DLGPROC /*procedure*/, LPARAM /*initParam*/) {
  std::fprintf(stderr, "tovik: the configuration dialog needs a terminal\n");
  SetLastError(ERROR_NOT_SUPPORTED);
  return -1;
}

int ShowMessageBox(const std::wstring &text, const std::wstring & /*caption*/) {
  std::fprintf(stderr, "tovik: %s\n", WideToHostName(text).c_str());
  return IDOK;
}

}  // namespace host
