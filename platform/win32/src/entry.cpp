// entry.cpp - the start-up code on Windows. Desktop Windows starts a wide
// program (linked with -municode) at wWinMain; it hands the program's
// WinMain (TovikWinMain, see platform.h) the same instance and wide command
// line a device would, and returns what it returns as the exit code.
#include "platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                    int showCommand) {
  return TovikWinMain(instance, previousInstance, commandLine, showCommand);
}
