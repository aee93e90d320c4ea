#pragma once
// Where the running program and its parts live.
//
// Two layouts are recognised:
//  - portable: everything beside the program (build/bin, or a copy of it):
//    the archiver libraries, helper executables, the "plugins" folder and
//    help.html;
//  - installed: PREFIX/bin/orvanto with its libraries, helpers and plug-ins
//    in PREFIX/lib/orvanto and its documents in PREFIX/share/orvanto.
// The program is taken as installed when PREFIX/lib/orvanto exists beside
// its bin folder.
#include <QString>

namespace platform {

// Full path of the running executable (/proc/self/exe resolved).
QString ProgramFilePath();
// Folder of the running executable, without a trailing "/".
QString ProgramDir();

// The name of the program's icon in the desktop's icon theme.
inline constexpr char ProgramIconName[] = "orvanto";

// True when the program runs from an installed tree (see above).
bool IsInstalledProgram();
// The folder of what the program loads or starts: archiver libraries,
// helper executables and the "plugins" folder. ProgramDir() when portable,
// PREFIX/lib/orvanto when installed. No trailing "/".
QString ProgramLibraryDir();
// The folder of the program's documents (help.html): ProgramDir() when
// portable, PREFIX/share/orvanto when installed. No trailing "/".
QString ProgramDataDir();

// The same decisions for a program living in programDir (used by the
// functions above; tests give made-up trees).
bool IsInstalledLayout(const QString& programDir);
QString LibraryDirFor(const QString& programDir);
QString DataDirFor(const QString& programDir);

} // namespace platform
