#pragma once

// What the Linux rewrite steps rely on in each kind of file system, told from the magic number
// statfs gives (POSIX sources of the system layer only).
#include <string>

#include "system/page_io.h"

namespace qv::sys {

// Who decides a new file's owner, group and permission bits.
enum class Ownership {
  per_file,          // the file itself (local POSIX file systems): what cannot be set is an error
  mount_may_decide,  // the server or the mount may (network shares, FUSE): what cannot be set,
                     // or is set and ignored, is left as the mount has it
  mount,             // the mount options alone (FAT, exFAT, NTFS): not set at all
};

// How the rewrite treats one kind of file system.
struct FileSystemTraits {
  FolderCapabilities can;
  Ownership ownership = Ownership::per_file;
};

// The traits of the file system whose statfs f_type is `magic`. An unknown kind is treated as a
// remote one: per-file flushes, pages released before their replacement.
FileSystemTraits traits_of_file_system(unsigned long magic);

// The mount point and type of the mount that holds the full path `folder` ("/mnt/x (vfat)"), from
// the process's mount table; `folder` itself when the table does not say.
std::string mount_words_for(const std::string& folder);

}  // namespace qv::sys
