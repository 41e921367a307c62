#include "Rows.h"

#include "DbError.h"

Columns::Columns(const QStringList &names) : m_names(names)
{
    m_index.reserve(names.size());
    for (int i = 0; i < names.size(); ++i) {
        const QString key = names.at(i).toLower();
        if (!m_index.contains(key)) m_index.insert(key, i);  // the first of two equal names wins
    }
}

int Columns::require(const QString &name) const
{
    const int index = indexOf(name);
    if (index < 0) throw DbError(-1, QStringLiteral("结果中没有列 %1").arg(name));
    return index;
}

namespace Value {

QString text(const QVariant &value)
{
    if (value.isNull()) return QString();
    switch (value.metaType().id()) {
        case QMetaType::QDateTime: return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        case QMetaType::QDate: return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
        case QMetaType::Bool: return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        default: return value.toString();
    }
}

QDateTime dateTime(const QVariant &value)
{
    if (value.isNull()) return QDateTime();
    const int type = value.metaType().id();
    if (type == QMetaType::QDateTime) return value.toDateTime();
    if (type == QMetaType::QDate) return QDateTime(value.toDate(), QTime(0, 0));
    const QString s = value.toString().trimmed();
    static const char *const formats[] = {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm",
                                          "yyyy-MM-dd",          "yyyy-MM-ddTHH:mm:ss",     "yyyy-MM-ddTHH:mm:ss.zzz"};
    for (const char *format : formats) {
        const QDateTime dt = QDateTime::fromString(s, QLatin1String(format));
        if (dt.isValid()) return dt;
    }
    return QDateTime();
}

}  // namespace Value
