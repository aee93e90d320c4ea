#pragma once
// Tests find a window's actions by their object names.
#include <QAction>
#include <QObject>

inline QAction* FindAction(const QObject& owner, const QString& name)
{
    return owner.findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}
