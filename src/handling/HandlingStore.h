#pragma once

#include <QDateTime>
#include <QString>
#include <QVariantList>
#include <QVector>

class Database;

// One open routing step of the user's department and post, with its complaint.
struct HandlingLine {
    qint64 stepId = 0;
    QString complaintCode;
    QDateTime complaintTime;
    QString phone;
    QString address;
    QString complainant;
    QDateTime accepted;  // when the complaint reached this post
    QString content;
    QString findings;  // the complaint's 调查情况
};

// The work of a leader to whom complaints are forwarded: the open steps addressed to exactly one
// department and post, closing a step with an opinion, and forwarding it to a further post.
class HandlingStore {
public:
    explicit HandlingStore(Database &db) : m_db(db) {}

    // The list query and its parameters (also what the benchmark times on its own).
    static QString openStepsSql();
    static QVariantList openStepsParams(const QString &department, const QString &post);
    // The open steps of the department and post, oldest step first.
    QVector<HandlingLine> openSteps(const QString &department, const QString &post);

    // Closes the step with the opinion. Throws ConcurrentChange when the step is no longer open.
    void finish(qint64 stepId, const QString &opinion);
    // Closes the step with the opinion and adds an open step for the department and post, numbered
    // one higher; returns the new step's ID. Both or neither are stored; throws ConcurrentChange
    // when the step is no longer open.
    qint64 forward(qint64 stepId, const QString &opinion, const QString &department, const QString &post);

private:
    Database &m_db;
};
