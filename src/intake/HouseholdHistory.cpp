#include "HouseholdHistory.h"

#include "data/Database.h"

QString Household::digits(const QString &telephone)
{
    QString out;
    out.reserve(telephone.size());
    for (const QChar c : telephone)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) out.append(c);
    return out;
}

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

// A number that has a country-code form at all: a mobile one or one with its area code.
bool isWholeNumber(const QString &national)
{
    return isMobile(national) || (national.startsWith(QLatin1Char('0')) && national.size() >= 10);
}

}  // namespace

QString Household::nationalDigits(const QString &telephone)
{
    const QString all = digits(telephone);
    QString rest;
    bool plus = false;
    for (const QChar c : telephone) {
        if (c.isDigit()) break;
        if (c == QLatin1Char('+')) plus = true;
    }
    if (plus && all.startsWith(QLatin1String("86"))) rest = all.mid(2);
    else if (all.startsWith(QLatin1String("0086"))) rest = all.mid(4);
    else if (all.startsWith(QLatin1String("86")) && (isMobile(all.mid(2)) || isAreaCodedAbroad(all.mid(2))))
        rest = all.mid(2);
    else return all;
    if (isAreaCodedAbroad(rest)) return QLatin1Char('0') + rest;
    return rest;
}

QStringList Household::writtenForms(const QString &national)
{
    QStringList forms{national};
    if (!isWholeNumber(national)) return forms;
    // "+86 (0)571 ..." keeps the area code's 0 after the country code; most forms drop it.
    QStringList numbers{national};
    if (!isMobile(national)) numbers << national.mid(1);
    for (const QString &number : std::as_const(numbers))
        for (const char *prefix : {"86", "+86", "0086"}) forms << QLatin1String(prefix) + number;
    return forms;
}

QString HouseholdHistory::telephoneDigitsSql(const QString &column)
{
    return QStringLiteral("REPLACE(REPLACE(REPLACE(REPLACE(%1, ' ', ''), '-', ''), '(', ''), ')', '')").arg(column);
}

QString HouseholdHistory::householdWhere(const Household &household, const QString &exceptCode, QVariantList *params)
{
    QString where = QStringLiteral("撤销时间 IS NULL AND ");
    if (household.roomId > 0) {
        where += QStringLiteral("S_ID = ?");
        params->append(household.roomId);
    } else {
        // A typed address has no room: the same number, however it was written, with or without
        // the country code.
        const QStringList forms = Household::writtenForms(Household::nationalDigits(household.telephone));
        QStringList marks;
        for (const QString &form : forms) {
            marks << QStringLiteral("?");
            params->append(form);
        }
        where += telephoneDigitsSql(QStringLiteral("联系电话")) + QStringLiteral(" IN (") +
                 marks.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    if (!exceptCode.isEmpty()) {
        where += QStringLiteral(" AND 投诉编号 <> ?");
        params->append(exceptCode);
    }
    return where;
}

QString HouseholdHistory::listSql(const Household &household, const QString &exceptCode, QVariantList *params)
{
    // A household has a handful of complaints, so reading them all and keeping the newest is
    // cheap on both servers and needs no dialect for the row limit.
    return QStringLiteral("SELECT 投诉编号, 投诉时间, 投诉类别, 处理状态, 投诉内容 FROM 投诉信息 WHERE ") +
           householdWhere(household, exceptCode, params) + QStringLiteral(" ORDER BY 投诉时间 DESC, 投诉编号 DESC");
}

HouseholdComplaints HouseholdHistory::read(const Household &household, const QDateTime &now, const QString &exceptCode)
{
    HouseholdComplaints found;
    if (!household.isKnown()) return found;
    QVariantList params;
    const QString sql = listSql(household, exceptCode, &params);
    const Rows rows = m_db.select(sql, params);
    const QDateTime since = now.addDays(-kRecentDays);
    found.entries.reserve(qMin(rows.size(), kLimit));
    for (int i = 0; i < rows.size(); ++i) {
        const Row row = rows.at(i);
        const QDateTime time = row.dateTime(1);
        if (time.isValid() && time >= since && time <= now) ++found.recent;
        if (i < kLimit) found.entries.append(HistoryEntry{row.text(0), time, row.text(2), row.text(3), row.text(4)});
    }
    return found;
}
