#pragma once
// The pictures beside one picture file: what a start with /Siblings=On
// lists when the command line names a single picture.
#include <QString>
#include <QStringList>

#include <functional>

using PictureTest = std::function<bool(const QString& path)>;

struct SiblingList {
    QStringList paths; // the folder's pictures in the order an opened folder gets
    int index = -1; // where the named file is in paths; -1 when it is not there
};

// Lists the files of `file`'s folder that pass isPicture (subfolders are
// skipped, as when a folder is opened), sorted as the image list sorts an
// opened folder, and finds `file` among them. `file` is an absolute path.
SiblingList SiblingPictures(const QString& file, const PictureTest& isPicture);
