#pragma once

// SQLite locks a database file and its -shm file with POSIX record locks, which belong to the
// process: closing any descriptor of the file drops every one of them, whoever closes it. A file
// dialog that reads the folder (icons, mime types, the completer) would then let another station
// check the journal in and delete it under this process, and this process's next write would be
// lost and damage the file.
//
// install() puts SQLite's locks on open-file-description locks instead (Linux 3.15 and later):
// every file that SQLite locks gets one private duplicate of SQLite's first descriptor of it, and
// every lock and unlock of that file, from any of this process's connections, goes to that one
// description. So the connections of one process share their locks exactly as they share POSIX
// locks (SQLite's own bookkeeping stays right), other processes meet them as they meet POSIX
// locks, and no other descriptor of the file can drop them. The description is closed when SQLite
// closes its last descriptor of the file. Where the kernel refuses such locks, SQLite keeps its
// POSIX locks.
namespace SqliteLocks {

// Once per process, before the first SQLite connection opens; later calls do nothing.
void install();

// The locks are open-file-description locks (false before the first lock, or where the kernel
// or the system has none).
bool onFileDescriptions();

}  // namespace SqliteLocks
