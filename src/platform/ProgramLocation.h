#pragma once
// Where the running program lives.
#include <QString>

namespace platform {

// Full path of the running executable (/proc/self/exe resolved).
QString ProgramFilePath();
// Folder of the running executable, without a trailing "/".
QString ProgramDir();

} // namespace platform
