#include <QCoreApplication>
#include <cstdio>

#include "BenchDatabase.h"

// generate_db <file> [complaints] [offices] [departments] [steps]
// generate_db <file> years|followup
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr,
                     "usage: generate_db <file> [complaints=100000] [offices=20] [departments=2000] [steps=200000]\n"
                     "       generate_db <file> years      ten years: 1,000,000 complaints, 50 departments\n"
                     "       generate_db <file> followup   the base sizes with a third finished\n");
        return 2;
    }
    BenchDatabase::Sizes sizes;
    if (args.size() > 2 && args.at(2) == QLatin1String("years")) sizes = BenchDatabase::years();
    else if (args.size() > 2 && args.at(2) == QLatin1String("followup")) sizes = BenchDatabase::followUp();
    else {
        if (args.size() > 2) sizes.complaints = args.at(2).toInt();
        if (args.size() > 3) sizes.offices = args.at(3).toInt();
        if (args.size() > 4) sizes.departments = args.at(4).toInt();
        if (args.size() > 5) sizes.steps = args.at(5).toInt();
    }
    const double seconds = BenchDatabase::generate(args.at(1), sizes);
    std::printf("%s: %d complaints, %d offices, %d departments, %d routing steps in %.1f s\n", qPrintable(args.at(1)),
                sizes.complaints, sizes.offices, sizes.departments, sizes.steps, seconds);
    return 0;
}
