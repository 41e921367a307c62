#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class Database;

// The cells of one row of the reception register, in the grid's column order.
namespace RegisterColumn {
enum {
    Row = 0,      // 序: the row number, filled by the grid
    Code,         // 编号
    Category,     // 投诉类别
    Channel,      // 投诉方式
    Time,         // 投诉时间, default date-time text
    Complainant,  // 投诉人
    Address,      // 地址
    Telephone,    // 联系电话
    Content,      // 投诉内容
    Receiver,     // 接待
    Status,       // 处理状态
    Result,       // 处理结果
    Finished,     // 处理时间, "yyyy-MM-dd HH:mm"; empty while open
    Room,         // hidden: S_ID of the room the complaint was recorded for
    Office,       // hidden: the complaint's own 管理处代号
    Id,           // hidden, always the last column: ID
    Count
};
}

// What reception writes for one complaint. Empty texts of the optional columns are stored as NULL.
struct ComplaintInput {
    QString complainant;
    QString address;
    QString telephone;
    QString content;
    QString category;  // the category's name, as complaints store it
    QString channel;   // the channel's name
    QDateTime time;    // invalid: NULL
    QString receiver;
    QString officeCode;  // empty: no office
    qint64 roomId = 0;   // 室表.S_ID of a picked room or let unit; 0: typed address
    QString deptCode;
    QString deptName;
};

struct SavedComplaint {
    qint64 id = 0;
    qint64 serial = 0;
    QString code;
};

// Which complaints of the department the register lists.
struct RegisterQuery {
    enum Kind {
        All,           // no period
        CurrentMonth,  // received this month, and every complaint not finished yet
        Range,         // received from `from` 00:00 up to and including the midnight after `to`
        Complainant,   // complainant contains the text, literally, any date
    };
    Kind kind = CurrentMonth;
    QDate from;
    QDate to;
    QString complainant;
};

// The complaint register as reception reads and writes it (table 投诉信息), and the code lists
// and receivers it offers.
class ComplaintStore {
public:
    explicit ComplaintStore(Database &db) : m_db(db) {}

    // The complaint code of a serial: at least eight digits, zero-padded.
    static QString codeFor(qint64 serial);

    // "编号 类别" and "编号 方式" entries, ordered by code.
    QStringList categories();
    QStringList channels();
    // Names of the employees holding the posts of a department, once per post, by post code.
    QStringList receivers(const QString &deptCode);

    // Stores a new complaint "尚未受理" under the next free serial and code. The serial is read,
    // probed and written while holding the lock that serialises code allocation, so concurrent
    // stations never share a code; a clash on the unique code is retried.
    SavedComplaint insert(const ComplaintInput &complaint);
    // Rewrites the fields of the complaint with this code, keeping its serial, status and the
    // handling, follow-up and void columns. Returns its ID, or nothing when there is no such complaint.
    std::optional<qint64> update(const QString &code, const ComplaintInput &complaint);

    enum class VoidResult {
        Voided,
        Missing,      // gone, or already voided by someone else
        NotVoidable,  // accepted or finished meanwhile
    };
    // Voids a complaint (撤销时间 := today) only while it is still "尚未受理" without 处理时间.
    VoidResult voidComplaint(qint64 id);

    // Streams the department's live complaints matching the query, ordered by code. `cells` holds
    // RegisterColumn::Count texts (the row number left empty); `open` is true while the complaint
    // has no 处理时间.
    void scanRegister(const QString &deptCode, const RegisterQuery &query,
                      const std::function<void(QString *cells, bool open)> &visit);
    // The register cells of one complaint; false when it does not exist.
    bool registerRow(qint64 id, QString *cells, bool *open);

    // The statement and values of a register query (also what the benchmark times bare).
    QString registerSql(const QString &deptCode, const RegisterQuery &query, QVariantList *params) const;

private:
    Database &m_db;
};
