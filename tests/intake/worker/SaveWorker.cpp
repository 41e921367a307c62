// Usage: intake_save_worker <sqlite file> <count> <station name>
// Saves <count> complaints one after the other, as a reception station would; exits 0 when all
// were stored.
#include <QCoreApplication>
#include <cstdio>

#include "data/Database.h"
#include "intake/ComplaintStore.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: intake_save_worker <file> <count> <station>\n");
        return 2;
    }
    try {
        Database db;
        db.openSqlite(args.at(1));
        ComplaintStore store(db);
        const int count = args.at(2).toInt();
        for (int i = 0; i < count; ++i) {
            ComplaintInput input;
            input.complainant = args.at(3);
            input.content = QStringLiteral("第%1件").arg(i + 1);
            input.category = QStringLiteral("维修质量");
            input.channel = QStringLiteral("电话");
            input.receiver = args.at(3);
            input.deptCode = QStringLiteral("5");
            input.deptName = QStringLiteral("翠苑物业服务中心");
            input.time = QDateTime::currentDateTime();
            store.insert(input);
        }
    } catch (const DbError &e) {
        std::fprintf(stderr, "%d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    }
    return 0;
}
