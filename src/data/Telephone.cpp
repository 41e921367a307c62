#include "Telephone.h"

namespace {

bool isMobile(const QString &digits) { return digits.size() == 11 && digits.startsWith(QLatin1Char('1')); }

// An area code and number without the area code's 0: Beijing's 10 or a 2x code with eight
// digits, or a three-digit code (3 to 9) with seven or eight.
bool isAreaCodedAbroad(const QString &digits)
{
    if (digits.isEmpty()) return false;
    const QChar first = digits.at(0);
    if (digits.size() == 10 && (digits.startsWith(QLatin1String("10")) || first == QLatin1Char('2'))) return true;
    return (digits.size() == 10 || digits.size() == 11) && first >= QLatin1Char('3') && first <= QLatin1Char('9');
}

}  // namespace

namespace Telephone {

QString allDigits(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) out.append(c);
    return out;
}

QString digits(const QString &text)
{
    const QString all = allDigits(text);
    bool plus = false;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) break;
        if (c == QLatin1Char('+')) plus = true;
    }
    QString rest;
    if (plus && all.startsWith(QLatin1String("86"))) rest = all.mid(2);
    else if (all.startsWith(QLatin1String("0086"))) rest = all.mid(4);
    else if (all.startsWith(QLatin1String("86")) && (isMobile(all.mid(2)) || isAreaCodedAbroad(all.mid(2))))
        rest = all.mid(2);
    else return all;
    if (isAreaCodedAbroad(rest)) return QLatin1Char('0') + rest;
    return rest;
}

}  // namespace Telephone
