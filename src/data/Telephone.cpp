#include "Telephone.h"

namespace Telephone {

QString digits(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) out.append(c);

    if (out.startsWith(QLatin1String("0086"))) return out.mid(4);
    const QString written = text.trimmed();
    if (written.startsWith(QLatin1Char('+')) && out.startsWith(QLatin1String("86"))) return out.mid(2);
    if (out.size() == 13 && out.startsWith(QLatin1String("861"))) return out.mid(2);
    return out;
}

}  // namespace Telephone
