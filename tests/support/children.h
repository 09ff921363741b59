#pragma once
// Finds a window's control by its object name, as a user-facing test would.
// A missing control is a broken test set-up, so it stops the test program
// with the name instead of crashing on a null pointer later.

#include <QObject>
#include <QString>
#include <QtGlobal>

template <class T>
T *child(const QObject &parent, const QString &name)
{
    T *found = parent.findChild<T *>(name);
    if (!found)
        qFatal("%s has no %s named %s", qPrintable(parent.objectName()), T::staticMetaObject.className(),
               qPrintable(name));
    return found;
}

template <class T>
T *child(const QObject *parent, const QString &name)
{
    return child<T>(*parent, name);
}
