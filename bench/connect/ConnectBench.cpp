// Opening a session on the suite's SQL Server, over the TDS test endpoint on this machine: the
// whole open (login, session set-up, the read of the columns) and the read of the columns alone.
// The endpoint answers the catalogue with a row for every column the client reads.
//   bench_connect [runs=20]
#include <QElapsedTimer>
#include <cstdio>

#include "BenchSupport.h"
#include "TdsEndpoint.h"
#include "data/Database.h"
#include "data/ServerSchema.h"

using namespace BenchSupport;

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("TAVIMOR_SOURCE_DIR")) qputenv("TAVIMOR_SOURCE_DIR", TAVIMOR_SOURCE_DIR_DEFAULT);
    Bench bench(argc, argv);
    const int runs = Bench::runs(argc, argv, 20);
    QList<QVariantList> catalogue;
    for (const QString &name : ServerSchema::columns()) {
        const QStringList parts = name.split(QLatin1Char('.'));
        catalogue.append(
            {parts.at(0), parts.at(1), QStringLiteral("varchar"), 20, QStringLiteral("Chinese_PRC_CI_AS"), 936});
    }
    TdsEndpoint endpoint({TdsEndpoint::catalogue(catalogue)});
    if (!endpoint.start()) {
        std::fprintf(stderr, "the endpoint cannot run: %s\n", qPrintable(endpoint.error()));
        return 2;
    }
    Database db;
    const Times open = medianTimes(runs, [&](int) { db.open(endpoint.settings()); });
    int rows = 0;
    const Times read = medianTimes(runs, [&](int) { rows = db.select(ServerSchema::statement()).size(); });
    std::printf("SQL Server session over the TDS endpoint, median of %d runs\n", runs);
    std::printf("  open (login, set-up, columns)  wall %7.2f ms  cpu %7.2f ms\n", open.wall, open.cpu);
    std::printf("  read of the columns (%d rows)  wall %7.2f ms  cpu %7.2f ms\n", rows, read.wall, read.cpu);
    db.close();
    return 0;
}
