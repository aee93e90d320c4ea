#include "viewer/Siblings.h"

#include "platform/Files.h"
#include "viewer/ImageList.h"
#include "viewer/common/SharedHelpers.h"

#include <QFileInfo>

SiblingList SiblingPictures(const QString& file, const PictureTest& isPicture)
{
    SiblingList result;
    const QString folder = QFileInfo(file).absolutePath();
    const QString prefix = IncludeBackslash(folder);
    ImageList list;
    list.SetSorted(true);
    for (const platform::DirEntry& entry : platform::ListDirectory(folder)) {
        if (entry.isDir)
            continue;
        const QString full = prefix + entry.name;
        if (isPicture(full))
            list.Add(full);
    }
    list.SetSorted(false);
    result.paths = list.ToStringList();
    result.index = static_cast<int>(result.paths.indexOf(file));
    return result;
}
