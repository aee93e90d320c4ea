#pragma once
// Reading what a stub archiver library (stub/ArcStub.c) was called with.
#include "platform/DynamicLibrary.h"

#include <QString>

#include <cstdint>

namespace stub {

QString LastCommand(platform::LibraryHandle module);
QString LastEntry(platform::LibraryHandle module);
QString LastPath(platform::LibraryHandle module);
int LastMode(platform::LibraryHandle module);
std::uintptr_t LastWindow(platform::LibraryHandle module);
int CallCount(platform::LibraryHandle module);
void SetResult(platform::LibraryHandle module, int rc);

// Writes a file holding the signature the stub of that prefix accepts
// (with an optional type digit), after some filler bytes.
void WriteSignedFile(const QString& path, const char* prefix, char typeDigit = 0);

} // namespace stub
