// Where the program's libraries come from. Administrators run small tools
// like this one straight from a download folder, where a DLL planted beside
// the program would otherwise be loaded with their rights. So the program
// file imports only libraries Windows keeps in its system folder (kernel32,
// user32, gdi32, advapi32, msvcrt), narrows the library search first thing,
// and only then loads COM, the common controls and the shell, by name, each
// once.
#pragma once

#include <windows.h>

namespace kestrana {

// Limits the library search to the system folder where Windows can
// (SetDefaultDllDirectories: Windows 8 on, Vista and 7 with update
// KB2533623); elsewhere it takes at least the current folder out of it
// (SetDllDirectoryA("")). Both are looked up at run time so that Windows XP
// still loads the program and its gate can refuse it. Runs before anything
// loads a library.
void restrictLibrarySearch();

// OleInitialize on the calling thread. False when ole32 or the function
// cannot be had or the call failed; the program then goes on without COM.
bool initializeOle();
// OleUninitialize, for a successful initializeOle.
void uninitializeOle();

// InitCommonControlsEx, from version 6 of the common controls under the
// manifest. False when it cannot be had.
bool initCommonControls(DWORD classes);

// ShellExecuteA. Without shell32 or the function it answers 0, as a failed
// shell request does (any answer up to 32 is a failure).
HINSTANCE shellExecute(HWND owner, const char* operation, const char* file, const char* parameters,
                       const char* directory, int show);

}  // namespace kestrana
