#pragma once

#include <QJsonObject>
#include <memory>

#include "TdsEndpoint.h"
#include "TestDatabase.h"

// A test database that the program reaches over the TDS endpoint: gConn goes over the wire and the
// endpoint answers from the test's SQLite file as the server of `profile` would (see TdsEndpoint);
// the helpers of db() keep their direct SQLite connection.
//
//     ReplayDatabase replay(QStringLiteral("legacy"));
//     TDS_START(replay.endpoint);
//     replay.open();
class ReplayDatabase {
public:
    explicit ReplayDatabase(const QString &profile = QString(), bool withDemo = true);
    ~ReplayDatabase();
    ReplayDatabase(const ReplayDatabase &) = delete;
    ReplayDatabase &operator=(const ReplayDatabase &) = delete;

    // After the endpoint has started: makes the database and opens gConn on it through the endpoint.
    void open();
    TestDatabase &db() { return *m_db; }

    TdsEndpoint endpoint;

private:
    bool m_withDemo;
    std::unique_ptr<TestDatabase> m_db;
};
