#pragma once
// Loading shared objects by the names the program uses for its libraries.
//
// A bare library name such as "UNLHA32.DLL" or "7-zip32.dll" is mapped to the
// shared object "lib" + name without ".dll", lower-cased, + ".so" and looked
// for in the program's library folder (ProgramLibraryDir: the program's own
// folder, or PREFIX/lib/orvanto when installed), then by the system's own
// search. A name with a folder part, or a name that does not end
// in ".dll" (a Susie plug-in file, say), is loaded as given.
#include <QString>

namespace platform {

using LibraryHandle = void*;

// The shared-object file name a library name maps to ("UNLHA32.DLL" ->
// "libunlha32.so"); names that are not ".dll" names come back unchanged.
QString SharedObjectName(const QString& libraryName);

// The file LoadLibrary would open: a path with a folder part when the
// library was found in one of the searched folders (or was named with one),
// otherwise the bare mapped name left to the system's search.
QString FindLibraryFile(const QString& libraryName);

// dlopen of the mapped name; nullptr when it cannot be loaded.
LibraryHandle LoadLibrary(const QString& libraryName);
// dlsym; nullptr when the library lacks the symbol.
void* GetProcAddress(LibraryHandle library, const char* name);
// dlclose; true on success.
bool FreeLibrary(LibraryHandle library);
// The real path of the loaded object; empty when it cannot be told.
QString GetModuleFileName(LibraryHandle library);
// The text of the last failure of LoadLibrary on this thread.
QString LastLibraryError();

// Extra folders searched before the system search (tests use this to point
// at a build folder). Searched after the program's own folders.
void AddLibrarySearchFolder(const QString& folder);

} // namespace platform
