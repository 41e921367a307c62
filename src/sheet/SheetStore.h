#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>
#include <optional>

class Database;

// One routing step of a complaint, with the names of its department and post.
struct SheetStep {
    int order = 0;  // 顺序号
    QString department;
    QString post;
    QDateTime accepted;
    QDateTime finished;
    QString opinion;
    QString result;
};

// Everything the complaint sheet prints about one complaint.
struct SheetData {
    QString code;
    QString department;  // the receiving department's name, as the complaint stores it
    QDateTime time;
    QString complainant;
    QString address;
    QString telephone;
    QString category;
    QString channel;
    QString receiver;
    QString content;
    QString status;
    QString findings;  // 调查情况
    QString result;    // 处理结果
    QDateTime finishedAt;
    QVector<SheetStep> steps;  // in 顺序号 order
    QString visitor;           // 回访人; empty when there was no follow-up visit
    QDateTime visitedAt;
    QString satisfaction;
    QDateTime voidedAt;  // 撤销时间; invalid while the complaint stands

    bool hasVisit() const { return !visitor.isEmpty() || visitedAt.isValid() || !satisfaction.isEmpty(); }
};

// Reads the complaint sheet of one complaint.
class SheetStore {
public:
    explicit SheetStore(Database &db) : m_db(db) {}
    // Nothing when there is no complaint with this code.
    std::optional<SheetData> load(const QString &code);

private:
    Database &m_db;
};
