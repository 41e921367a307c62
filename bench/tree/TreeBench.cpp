// The department tree of a large organisation: reading the department rows alone against reading
// them and building the whole tree, for both variants.
//   bench_tree [departments=10000] [runs=15]
#include <QApplication>
#include <QTreeWidget>
#include <cstdio>

#include "BenchDatabase.h"
#include "BenchSupport.h"
#include "common/DepartmentTree.h"
#include "common/Session.h"

using namespace BenchSupport;

namespace {

int countNodes(const QTreeWidget &tree)
{
    int count = 0;
    std::vector<QTreeWidgetItem *> stack;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) stack.push_back(tree.topLevelItem(i));
    while (!stack.empty()) {
        QTreeWidgetItem *node = stack.back();
        stack.pop_back();
        ++count;
        for (int i = 0; i < node->childCount(); ++i) stack.push_back(node->child(i));
    }
    return count;
}

}  // namespace

int main(int argc, char **argv)
{
    Bench bench(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    BenchDatabase::Sizes sizes;
    sizes.departments = args.size() > 1 ? args.at(1).toInt() : 10000;
    const int runs = args.size() > 2 ? args.at(2).toInt() : 15;
    sizes.complaints = 100;
    sizes.steps = 100;
    sizes.offices = 2;
    sizes.buildingsPerOffice = 1;
    sizes.roomsPerBuilding = 1;
    const QString file = openDatabase(sizes);

    std::printf("department tree, %d departments, median of %d runs (%s)\n", sizes.departments, runs, qPrintable(file));
    bool ok = true;
    for (const PickerVariant variant : {PickerVariant::Plain, PickerVariant::Assignment}) {
        const char *name = variant == PickerVariant::Plain ? "plain" : "assignment";
        int rows = 0;
        const double read = medianMs(runs, [&](int) { rows = DepartmentTree::load(gConn, variant).size(); });
        QTreeWidget tree;
        tree.resize(300, 400);
        tree.show();  // as in a window: a tree on the screen
        DepartmentTree departments;
        const double build = medianMs(runs, [&](int) { departments.build(&tree, variant, gConn); });
        const double ratio = build / read;
        std::printf("  %-10s rows %6d  nodes %6d  read %7.2f ms  read+build %7.2f ms  ratio %.2f\n", name, rows,
                    countNodes(tree), read, build, ratio);
        ok = ok && build <= 100.0 && ratio <= 2.0;
    }
    std::printf("limits (build <= 100 ms, ratio <= 2): %s\n", ok ? "met" : "NOT met");
    gConn.close();
    return ok ? 0 : 1;
}
