// The files of the results store hold personal data (operator names): the
// data folder is its user's alone (0700), and every SQLite file the store
// creates is too (0600) from the moment it exists, whatever the umask.
// SQLite gives the -wal, -shm and -journal files of a database the mode of
// the database file, so they follow.
#pragma once

#include <string>

namespace zx840 {

// Makes the folder `folder` and those above it that are missing, each new
// one 0700. False, with `error` set, when one cannot be made.
bool MakePrivateFolders(const std::string& folder, std::string* error);

// Creates `path` as an empty file of mode 0600 (an empty file is an empty
// SQLite database) unless something is there already. False, with `error`
// set, when it cannot be created.
bool CreatePrivateFile(const std::string& path, std::string* error);

// The program's own SQLite files in its data folder, made by earlier
// versions with the umask's mode: the folder goes to 0700, the file at
// `path` and its -wal, -shm and -journal to 0600. Only what is not a
// symbolic link and lets group or others in is changed; a file elsewhere,
// which the user named, keeps the mode its owner gave it.
void TightenOwnStoreFiles(const std::string& path);

// Whether `path` is a file directly in the data folder.
bool InDataFolder(const std::string& path);

}  // namespace zx840
