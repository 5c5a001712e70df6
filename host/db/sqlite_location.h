#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace nv407::host::sqlite {

// The files SQLite keeps beside a database, named after it: its log, the log's index and the
// journal of a database that keeps none.
inline constexpr const char* kSideSuffixes[] = {"-wal", "-shm", "-journal"};

// Where `path` is named as a file SQLite keeps beside a database (DATABASE-wal, -shm,
// -journal): "PATH is the name SQLite gives the log it keeps beside the database DATABASE"
// (its index, its journal), which a database of that name would be taken for; "" for any
// other name.
std::string SideFileName(const std::string& path);

// Throws Error, naming them and what to do, where files SQLite keeps beside a database are
// there beside `path`, the name of a database about to be made: left by a program that has
// (or had) a database of that name open, by a writer killed outright or by another tool,
// SQLite would take them for the new file's own (a log's pages read over it, a journal
// rolled back into it) or discard them with the saves they hold.
void RefuseFilesLeftBeside(const std::string& path);

// Throws Error, saying which database's it is and to name that one, for a path named as a
// file SQLite keeps beside a database: opened as a database it holds no tables, and removed
// as such a file it takes the saves of the programs that have the database open with it.
void RefuseASideFileName(const std::string& path);

// What opens an existing database file with sqlite3_open_v2, given where it lies. In WAL
// mode SQLite keeps the database's log and its shared index beside it (NAME-wal, NAME-shm),
// so the folder must take them; on a read-only file system, where nobody can change the
// file, it is read as immutable, without log or locks, and opens for reading only. Beside a
// log or an index that this user cannot write (one another user left), it opens for reading
// only too.
struct OpenTarget {
  std::string name;  // the path, or a file: URI
  int flags = 0;
  // Why it opens for reading only where the place decides it ("" otherwise).
  std::string read_only_because = {};
};

// `flags`: those for a folder that can be written. Throws Error, saying why, for a folder
// that cannot take the log, and for a read-only file system holding a log without its index.
OpenTarget OpenTargetFor(const std::string& path, int flags);

// The files that reading the database file at `path` would make beside it and leave there,
// named as in its folder: SQLite makes a WAL file's log and index (NAME-wal, NAME-shm) as its
// first reader opens it, as that reader's, and a reader that cannot write the file cannot
// remove them on closing; left there, they keep the programs of the file's owner from
// changing it, as those cannot write them. None where this user can write the file, where
// the index is there (a program has the database open), where the file does not keep a log
// or where its folder takes none.
std::vector<std::string> FilesAReadingWouldLeave(const std::string& path);

// Takes away the permissions of users other than its owner and its group from a database
// file they may read, which holds password hashes, and from the files SQLite
// keeps beside it; the owner and the group keep theirs (an office shares the file with its
// group). Returns the file's new permissions, none where others could not read it. Throws
// Error, saying what to do, where this user may not change them (it is not the owner).
// `asking`: changes nothing, only throws where it would (before a hash is written).
std::optional<mode_t> KeepFromOthers(const std::string& path, bool asking = false);

// Throws Error when the file the connection opened has since been removed or renamed (a
// copy restored over it, say): what it wrote would go to the old file, lost to everyone
// else, and its log would be taken for the new file's; what it read would be the old file's.
void RefuseAMovedFile(sqlite3* db);
// The question costs a system call, dear beside a look-up's few microseconds: a session asks
// it as each transaction begins, and before a statement outside one at most this often.
inline constexpr std::chrono::milliseconds kMovedFileCheckInterval{100};

}  // namespace nv407::host::sqlite
