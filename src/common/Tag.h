#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

// The free "tag" text that a control or window carries (a hidden code, a mode marker).
inline void setTag(QObject *object, const QString &text) { object->setProperty("tag", text); }
inline QString tag(const QObject *object) { return object->property("tag").toString(); }
