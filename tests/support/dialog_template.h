// dialog_template.h - the program's dialog templates as the platform's
// resource functions find them in the running module (IDD_PROGRESS,
// IDD_CONFIG). Header only: the conformance tests use it on Windows too.
#ifndef TOVIK_TEST_DIALOG_TEMPLATE_H
#define TOVIK_TEST_DIALOG_TEMPLATE_H

#include "platform.h"

// The template of dialog `id`, or nullptr when the module holds none.
inline LPCDLGTEMPLATEW LoadDialogTemplate(int id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG);
  if (resource == nullptr) return nullptr;
  return static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(module, resource)));
}

#endif  // TOVIK_TEST_DIALOG_TEMPLATE_H
