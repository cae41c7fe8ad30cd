#pragma once

// Inside the page files: the folders a batch holds open, what their file systems can do, and a
// page's state from its read to its replacement.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "files/close_pool.h"
#include "files/page_files.h"
#include "system/page_io.h"

namespace qv {

// A folder held open for the batch, and what its file system can do.
struct OpenFolder {
  std::shared_ptr<sys::Folder> folder;
  std::string path;  // as reached, for messages
  FileIdentity identity;
  sys::FolderCapabilities can;
};

struct OpenedPage::State {
  std::string path;
  EntryIdentity entry;
  std::shared_ptr<OpenFolder> folder;
  sys::File page;  // held until it is released (see sys::PageRelease)
  sys::FileStatus read_status;
  sys::File temporary;
  std::string temporary_name;
  std::uint64_t staged = 0;

  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() { discard_temporary(); }

  // Removes the staged file, if any.
  void discard_temporary() {
    if (temporary_name.empty()) return;
    sys::discard_temporary(*folder->folder, temporary_name, temporary);
    temporary_name.clear();
    staged = 0;
  }
};

struct PageFiles::Folders {
  // Guards what follows up to `locked`, `not_kept`, `restored` and the watch's write_failure:
  // pages are read and staged on several threads at once where the loop keeps pages in flight.
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<OpenFolder>> by_path;  // the folders reached lately
  std::set<FileIdentity> cleaned;  // folders already cleared of dead runs' leftovers
  // A folder of each file system with staged files, and with replaced pages, still to flush.
  std::map<std::uint64_t, std::shared_ptr<OpenFolder>> staged;
  std::map<std::uint64_t, std::shared_ptr<OpenFolder>> written;
  std::shared_ptr<OpenFolder> locked;  // the folder whose lock this batch holds, if any
  ClosePool closes;                    // the replaced pages, released meanwhile
  // Per file system, what the mount decided instead of the pages (sys::NotKept), and where.
  std::map<std::uint64_t, std::pair<unsigned, std::string>> not_kept;
  std::vector<std::string> restored;  // pages put back from an interrupted run, in words
  RewriteWatch* watch = nullptr;

  void unlock() {
    if (locked) sys::unlock_folder(*locked->folder);
    locked.reset();
  }

  // The folder at `folder_path`, opened once for the batch (errors name the page `path`).
  std::variant<std::shared_ptr<OpenFolder>, IoError> open(const std::string& folder_path,
                                                          const std::string& path);
  // Clears `folder` of what dead runs left there, once per folder and batch.
  void clean(const OpenFolder& folder);
};

}  // namespace qv
