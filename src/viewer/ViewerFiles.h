#pragma once
// File names as the viewer sorts them: archives, excluded media, pictures of
// the graphic filter; external applications; the work folders archives are
// unpacked into.
#include <QString>
#include <QStringList>

// Extension tests on a file name: the extension lower-cased with its dot,
// searched as a substring. A name without extension passes none of them.
bool IsArchiveName(const QString& path);
bool IsExcludedName(const QString& path);
bool IsImageName(const QString& path, const QString& graphicFilter);
// The part of an application path before its first "." without the folder.
QString ApplicationName(const QString& appPath);
// The arguments an external application receives for the shown image: the
// path as one argument; "gmask.exe" takes it unquoted, so its blanks split it.
QStringList LaunchArguments(const QString& appPath, const QString& imagePath);
// Unpack folder for an archive under the work folder: name with "." -> "_",
// then [001], [002], ... until the name is free.
QString UnpackFolderFor(const QString& workFolder, const QString& archivePath);
// The files in the folder and all folders below it.
int CountFilesBelow(const QString& folder);

// The work folder of one running program below the private folder: each
// instance unpacks into its own "picture-<pid>", so two viewers never
// delete each other's pictures.
QString WorkFolderFor(const QString& base, qint64 pid);
// Deletes the work folders left by programs that are no longer running.
void RemoveStaleWorkFolders(const QString& base);
