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
    // Finished complaints in percent; the others are half not yet accepted, half in progress.
    int finishedPercent = 90;
    // When not negative: this many open complaints instead (half each), all received lately.
    int openComplaints = -1;
    // The finished complaints were received over this many years.
    int years = 3;
    // Finished complaints with a follow-up visit, in percent.
    int visitedPercent = 50;
    // Department "2"'s share of the complaints and of the offices, in percent; the rest belongs
    // to departments "3" .. "2 + otherDepartments".
    int mainPercent = 100;
    int otherDepartments = 0;
};

// Ten years of a property company: 1,000,000 complaints, 50 departments, 200 offices, 100,000
// households, 2,000,000 routing steps; about 2,000 complaints open, most finished ones visited;
// department "2" holds a tenth (100,000 complaints, 20 offices).
Sizes years();
// The base sizes with a third of the complaints finished (the follow-up benchmark's database).
Sizes followUp();

// Who the benchmarks log in as.
struct User {
    QString id, name, deptCode, deptName, postCode, postName;
};
User receptionist();  // department "2", post "P2-2"
User acceptor();      // department "2", post "P2-1"
User handler();       // department "3", post "P3-1"

// The file name that ensure() uses for these sizes.
QString fileName(const Sizes &sizes);

// Writes a new database file (replacing `file`). Returns the seconds it took.
double generate(const QString &file, const Sizes &sizes);

// The database for these sizes in the system's temporary folder, made on first use; an index
// of the schema that an older file lacks is added to it.
QString ensure(const Sizes &sizes = Sizes());
// Creates the indexes of the schema that `file` does not have yet.
void addMissingIndexes(const QString &file);

// Sets the session globals as a login of `user` would.
void login(const User &user);

}  // namespace BenchDatabase
