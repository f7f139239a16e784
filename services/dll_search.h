#pragma once
// Where the process may load DLLs from by bare name.

// Keeps the DLLs that the system and the file dialogs load at run time to the system folder:
// a program started from a Downloads folder must not load a DLL someone left beside it or in
// the current folder. Called first thing at start, before any window exists.
void SearchDllsInSystemFolderOnly();
