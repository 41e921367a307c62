#pragma once

#include <QString>

// Large SQLite databases from the program's own schema, for the benchmarks.
//
// Every room has a current householder with a telephone (some written with blanks or dashes);
// complaints are spread over the rooms, and every tenth has a typed address with only the
// telephone of the household.
//
// The organisation is a tree of `departments` departments (codes "1".."N", five children each,
// some with a parent history), three posts each ("P<dept>-1" the head, "-2", "-3"), one employee
// per post. Department "2" runs every management office and receives every complaint; its post
// "P2-1" accepts the complaints of all offices; department "3" post "P3-1" is where forwarded
// complaints go for handling.
namespace BenchDatabase {

struct Sizes {
    int complaints = 100000;
    int offices = 20;
    int departments = 2000;
    int steps = 200000;
    int buildingsPerOffice = 50;
    int roomsPerBuilding = 100;  // 100,000 rooms, each with a current householder
};

// Who the benchmarks log in as.
struct User {
    QString id, name, deptCode, deptName, postCode, postName;
};
User receptionist();  // department "2", post "P2-2"
User acceptor();      // department "2", post "P2-1"
User handler();       // department "3", post "P3-1"

// Writes a new database file (replacing `file`). Returns the seconds it took.
double generate(const QString &file, const Sizes &sizes);

// The database for these sizes in the system's temporary folder, made on first use.
QString ensure(const Sizes &sizes = Sizes());

// Sets the session globals as a login of `user` would.
void login(const User &user);

}  // namespace BenchDatabase
