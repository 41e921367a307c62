#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>

#include "data/Telephone.h"

class Database;

// Who "the same household" is: the room or let unit a complaint was recorded for, or, for a
// typed address, the complaint's telephone number.
struct Household {
    qint64 roomId = 0;  // 室表.S_ID; 0 when the address was typed
    QString telephone;  // as typed; only its digits count (Telephone::digits)

    // A telephone identifies a household only with at least this many digits.
    static constexpr int kMinTelephoneDigits = 7;
    // True when there is a room, or a telephone long enough to stand for the household.
    bool isKnown() const { return roomId > 0 || Telephone::digits(telephone).size() >= kMinTelephoneDigits; }
};

// One earlier complaint of a household, as the history grid shows it.
struct HistoryEntry {
    QString code;  // 投诉编号
    QDateTime time;
    QString category;
    QString status;
    QString content;
};

// What the history frame shows of a household: its newest complaints, and how many of all of
// them are recent.
struct HouseholdComplaints {
    QVector<HistoryEntry> entries;
    int recent = 0;
};

// The live (not voided) complaints of one household, of every department.
class HouseholdHistory {
public:
    explicit HouseholdHistory(Database &db) : m_db(db) {}

    static constexpr int kLimit = 50;
    static constexpr int kRecentDays = 30;

    // Newest first, at most kLimit, leaving out the complaint `exceptCode` (empty: none), and how
    // many of them were received in the kRecentDays days before `now` (up to `now`). One read.
    HouseholdComplaints read(const Household &household, const QDateTime &now, const QString &exceptCode = QString());

    // The statement of read() (for a known household), with its values.
    static QString listSql(const Household &household, const QString &exceptCode, QVariantList *params);

private:
    // The WHERE condition choosing the household's live complaints, and its values.
    static QString householdWhere(const Household &household, const QString &exceptCode, QVariantList *params);

    Database &m_db;
};
