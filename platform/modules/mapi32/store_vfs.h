// The SQLite file system the message stores open their files through: the default one, except
// that a database's locks are open-file-description locks on a descriptor of its own. SQLite's
// POSIX locks belong to the process and vanish when any descriptor of the file closes, and the
// platform's own calls (CreateFileW, CopyFileW, GetFileAttributesExW on a store the product
// copies or sizes) open and close store files in the same process; with these locks a store's
// lock holds until the store itself lets go of it.
#pragma once

namespace mapi {

// The name to pass to sqlite3_open_v2; registers the file system on first use.
const char* storeVfsName();

}  // namespace mapi
