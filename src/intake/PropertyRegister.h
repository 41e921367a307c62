#pragma once

#include <QString>
#include <QVector>
#include <optional>

class Database;

// A management office that reception can record a complaint for.
struct Office {
    QString code;  // GYD_DH
    QString name;
    QString address;     // empty when unknown
    QString telephone;   // empty when unknown
    int commercial = 0;  // 商用物业: 0 residential, 1 commercial
};

struct Building {
    qint64 id = 0;    // L_ID
    QString address;  // 地址1 字1 地址2 字2 地址3 字3 地址4 字4, missing parts left out
};

// A room of a residential building with its current householder.
struct RoomEntry {
    qint64 roomId = 0;         // S_ID
    qint64 householderId = 0;  // ZH_ID
    QString text;              // room number and word, a blank, the householder's name
};

struct Householder {
    qint64 id = 0;      // ZH_ID
    qint64 roomId = 0;  // S_ID
    QString name;
    QString address;  // the building's address followed by room number and word
    QString telephone;
};

// A current householder found by telephone, with the office of the building.
struct TelephoneMatch {
    Householder householder;
    QString officeCode;  // 楼表.管理处
};

// A unit of a commercial building let under a running contract.
struct LetUnit {
    qint64 unitId = 0;  // 室表.S_ID
    QString room;
    QString tenant;
};

// The suite's property register as reception reads it: offices, buildings, rooms with their
// householders and the let units of commercial offices.
class PropertyRegister {
public:
    explicit PropertyRegister(Database &db) : m_db(db) {}

    // The residential and commercial offices run by a department, codes in natural order (9 before 10).
    QVector<Office> offices(const QString &deptCode);
    // The buildings of an office, sorted part by part, each part by length first.
    QVector<Building> buildings(const QString &officeCode);
    // The rooms of a building that have a current householder ("新进户"), by room number.
    QVector<RoomEntry> rooms(qint64 buildingId);
    // A householder with address and telephone; nothing when the householder is unknown or the
    // room's property nature is not registered.
    std::optional<Householder> householder(qint64 householderId);
    // The units of a building let under running contracts of the office (taken effect, not
    // terminated), each unit once even when two running contracts let it.
    QVector<LetUnit> letUnits(const QString &officeCode, qint64 buildingId);
    // The current householders ("新进户") of the department's offices whose telephone contains
    // `digits` (matched literally, as stored), by office, building and room; at most `limit`.
    // `*more` tells whether further householders matched.
    QVector<TelephoneMatch> householdersByTelephone(const QString &deptCode, const QString &digits, int limit,
                                                    bool *more = nullptr);
    // Its statement and values.
    QString telephoneLookupSql() const;
    static QVariantList telephoneLookupParams(const QString &deptCode, const QString &digits);

private:
    QString buildingAddressSql() const;
    QString householderAddressSql() const;
    Database &m_db;
};
