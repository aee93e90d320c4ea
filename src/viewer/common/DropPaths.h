#pragma once
// The local files of a drop, as canonical paths in the order of the drop.
#include <QStringList>

class QMimeData;

QStringList DroppedPaths(const QMimeData* data);
