#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "TestRegistry.h"
#include "data/Database.h"
#include "data/Scripts.h"
#include "intake/ComplaintStore.h"

// Several reception stations saving into one database at the same time.
class ConcurrentSaveTest : public QObject {
    Q_OBJECT
private slots:
    void fourStationsGetDistinctGapFreeCodes()
    {
        constexpr int kStations = 4;
        constexpr int kEach = 50;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("shared.sqlite"));
        Scripts::createSqliteDatabase(file, false);

        std::vector<std::unique_ptr<QProcess>> stations;
        for (int i = 0; i < kStations; ++i) {
            auto process = std::make_unique<QProcess>();
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process->start(QStringLiteral(INTAKE_SAVE_WORKER),
                           {file, QString::number(kEach), QStringLiteral("station%1").arg(i)});
            stations.push_back(std::move(process));
        }
        for (auto &process : stations) {
            QVERIFY(process->waitForFinished(300000));
            QCOMPARE(process->exitStatus(), QProcess::NormalExit);
            QCOMPARE(process->exitCode(), 0);
        }

        Database db;
        db.openSqlite(file);
        const Rows rows = db.select(QStringLiteral("SELECT 投诉编号, 流水号, 投诉人 FROM 投诉信息 ORDER BY 流水号"));
        QCOMPARE(rows.size(), kStations * kEach);
        QSet<QString> codes;
        QSet<QString> stationsSeen;
        for (int i = 0; i < rows.size(); ++i) {
            const Row row = rows.at(i);
            QCOMPARE(row.number(QStringLiteral("流水号")), i + 1);
            QCOMPARE(row.text(QStringLiteral("投诉编号")), ComplaintStore::codeFor(i + 1));
            codes.insert(row.text(QStringLiteral("投诉编号")));
            stationsSeen.insert(row.text(QStringLiteral("投诉人")));
        }
        QCOMPARE(codes.size(), kStations * kEach);
        QCOMPARE(stationsSeen.size(), kStations);
    }
};

TAVIMOR_TEST(ConcurrentSaveTest)
#include "ConcurrentSaveTest.moc"
