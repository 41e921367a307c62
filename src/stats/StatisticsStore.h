#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <optional>

class Database;
class Dialect;
class GridModel;

// Columns of the statistics list, in the order of its format string.
namespace StatisticsColumn {
enum {
    Row = 0,      // 序: the line number, from 1
    Code,         // 投诉编号
    Address,      // 地址
    Complainant,  // 投诉人
    Time,         // 投诉时间, general date-time text
    Content,      // 投诉内容
    Finished,     // 处理时间, general date-time text; empty while open
    Telephone,    // 联系电话
    Status,       // 处理状态
    Spare,        // no caption, never filled, never exported
    Count
};
}

// The status filter, in the order of the window's list ("全  部" first).
enum class StatusFilter { All = 0, InProgress, Finished, NotAccepted };

// Which complaints the statistics list.
struct StatisticsQuery {
    QString deptCode;
    QDate from;  // first day, included whatever the time
    QDate to;    // last day, included whatever the time
    StatusFilter status = StatusFilter::All;
};

// The complaints of one department over a period, read for the statistics window (table 投诉信息,
// read only).
class StatisticsStore {
public:
    explicit StatisticsStore(Database &db) : m_db(db) {}

    // The list's columns as a flex-grid format string.
    static QString formatString();

    // Replaces the data rows of `grid` with the matching complaints, numbered from 1, in the order
    // of their complaint time. Voided complaints are listed like the others. When reading fails the
    // lines read so far stay and the error is thrown. Returns the number of lines.
    int fill(GridModel &grid, const StatisticsQuery &query);
    // The statement and values that fill() reads (also what the benchmark times bare).
    static QString listSql(const Dialect &dialect, const StatisticsQuery &query, QVariantList *params);

    // The texts of the detail boxes of one complaint, in the order of Text1(0) to Text1(9): code,
    // address and complainant, complaint time twice, content, findings, reply, finishing time,
    // complainant, telephone. Nothing when no complaint has that code.
    std::optional<QStringList> record(const QString &code);

private:
    Database &m_db;
};
