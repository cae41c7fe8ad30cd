// Win32 implementation of page rewrites. A page's new content goes to a hidden temporary file in
// the folder that really holds the page (a link or junction on the listed path is resolved once,
// when the page is read), written and flushed, then swapped in by ReplaceFileW, which keeps the
// page's access control list and alternate streams, or by a written-through replacing rename
// where the file system cannot do that. A temporary file is opened with no sharing while it
// lives, so that a later run can tell the leftovers of dead runs (which it can delete) from the
// files of live ones (which it cannot).
#include "files/page_files.h"

#include <cstring>
#include <map>
#include <set>
#include <type_traits>

#include "files/fault_injection.h"
#include "files/page_buffer.h"
#include "files/path.h"
#include "files/temporary_name.h"
#include "files/win32/file_access.h"
#include "files/win32/wide.h"

namespace qv {

using win32::error_from;
using win32::Handle;

// A folder that holds pages of the batch, held open so that it cannot be renamed or removed
// while its pages are rewritten.
struct Folder {
  Handle handle;
  std::wstring path;  // its real path, ending in a separator
  FileIdentity identity;
};

struct OpenedPage::State {
  std::string path;
  EntryIdentity entry;
  std::shared_ptr<Folder> folder;
  BY_HANDLE_FILE_INFORMATION read_info{};
  Handle temporary;
  std::wstring temporary_path;
  std::uint64_t staged = 0;

  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() { discard_temporary(); }

  std::wstring page_path() const { return folder->path + win32::to_wide(entry.name); }

  // Removes the staged file, if any.
  void discard_temporary() {
    if (temporary_path.empty()) return;
    temporary.close();
    ::DeleteFileW(temporary_path.c_str());
    temporary_path.clear();
    staged = 0;
  }
};

struct PageFiles::Folders {
  std::map<std::wstring, std::shared_ptr<Folder>> by_path;  // the folders reached lately
  std::set<FileIdentity> cleaned;  // folders already cleared of dead runs' leftovers

  // The folder at `path` (a system path ending in a separator), opened once for the batch.
  std::variant<std::shared_ptr<Folder>, DWORD> open(const std::wstring& path) {
    if (auto found = by_path.find(path); found != by_path.end()) return found->second;
    // Others may read and write in it, not rename or remove it.
    Handle handle(::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.valid()) return ::GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle.get(), &info)) return ::GetLastError();
    auto folder = std::make_shared<Folder>();
    folder->handle = std::move(handle);
    folder->path = path;
    folder->identity = {
        info.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    if (by_path.size() >= 16) by_path.clear();  // a batch moves on from folder to folder
    by_path.emplace(path, folder);
    return folder;
  }
};

namespace {

// Whether the file now at the page's place still is the one that was read, unchanged.
bool unchanged(const BY_HANDLE_FILE_INFORMATION& now, const BY_HANDLE_FILE_INFORMATION& read) {
  return now.dwVolumeSerialNumber == read.dwVolumeSerialNumber &&
         now.nFileIndexHigh == read.nFileIndexHigh && now.nFileIndexLow == read.nFileIndexLow &&
         now.nFileSizeHigh == read.nFileSizeHigh && now.nFileSizeLow == read.nFileSizeLow &&
         now.ftLastWriteTime.dwLowDateTime == read.ftLastWriteTime.dwLowDateTime &&
         now.ftLastWriteTime.dwHighDateTime == read.ftLastWriteTime.dwHighDateTime;
}

// Splits a system path into its folder (ending in a separator) and its last name.
std::pair<std::wstring, std::wstring> split(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {L".\\", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// Removes the temporary files in `folder` that no live run holds open: the leftovers of runs that
// were killed. Best effort: a file that cannot be deleted is left alone.
void remove_leftovers(const Folder& folder) {
  const std::wstring query = folder.path + win32::to_wide(detail::kTemporaryPrefix) + L"*";
  WIN32_FIND_DATAW entry;
  HANDLE search =
      ::FindFirstFileExW(query.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        is_temporary_name(win32::to_utf8(entry.cFileName)))
      ::DeleteFileW((folder.path + entry.cFileName).c_str());  // fails on a live run's file
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
}

// Creates a new hidden temporary file in `folder`, unshared while it stays open.
Handle create_temporary(const Folder& folder, std::wstring& path) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = folder.path + win32::to_wide(detail::new_temporary_name());
    Handle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (file.valid() || ::GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return Handle();
}

// Writes every piece in order. An armed fault counts each non-empty piece as one write.
std::optional<IoError> write_all(HANDLE file, std::span<const std::string_view> pieces,
                                 const std::string& path) {
  for (std::string_view piece : pieces) {
    if (piece.empty()) continue;
    if (int injected = fault_injection::take_write_failure())
      return IoError{path, std::strerror(injected)};
    while (!piece.empty()) {
      const DWORD ask = piece.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(piece.size());
      DWORD written = 0;
      if (!::WriteFile(file, piece.data(), ask, &written, nullptr))
        return error_from(path, ::GetLastError());
      piece.remove_prefix(written);
    }
  }
  return std::nullopt;
}

template <typename Buffer>
std::optional<IoError> read_into(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info,
                                 const std::string& path, Buffer& out, std::size_t headroom) {
  if constexpr (std::is_same_v<Buffer, std::string>)
    return win32::read_all(file, info, path, out, headroom);
  else
    return win32::read_all(file, info, path, out);
}

// Reads the page named `name` in `folder`, listed as `path`.
template <typename Buffer>
std::variant<OpenedPage, IoError> read_entry(std::shared_ptr<Folder> folder, std::string name,
                                             const std::string& path, Buffer& out,
                                             std::size_t headroom) {
  out.clear();
  Handle file = win32::open_for_reading(folder->path + win32::to_wide(name));
  if (!file.valid()) return error_from(path, ::GetLastError());
  auto state = std::make_unique<OpenedPage::State>();
  if (auto error = win32::regular_file_error(file.get(), path, state->read_info)) return *error;
  if (auto error = read_into(file.get(), state->read_info, path, out, headroom)) return *error;
  state->path = path;
  state->entry = EntryIdentity{folder->identity, std::move(name)};
  state->folder = std::move(folder);
  return OpenedPage(std::move(state));
}

template <typename Buffer>
std::variant<OpenedPage, IoError> read_page(PageFiles::Folders& folders, const std::string& path,
                                            Buffer& out, std::size_t headroom) {
  win32::quiet_drive_errors();
  out.clear();
  std::wstring where = win32::system_path(path);
  const DWORD attributes = ::GetFileAttributesW(where.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return error_from(path, ::GetLastError());
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // A symbolic link or junction, resolved here, once: from now on the page is the entry its
    // target names, in the folder that holds that entry; the link itself stays.
    Handle file = win32::open_for_reading(where);
    std::optional<std::wstring> resolved;
    if (!file.valid() || !(resolved = win32::final_path(file.get())))
      return error_from(path, ::GetLastError());
    where = win32::system_path(win32::to_utf8(*resolved));
  }
  auto [folder_path, name] = split(where);
  std::variant<std::shared_ptr<Folder>, DWORD> folder = folders.open(folder_path);
  if (const DWORD* code = std::get_if<DWORD>(&folder)) return error_from(path, *code);
  return read_entry(std::get<0>(std::move(folder)), win32::to_utf8(name), path, out, headroom);
}

}  // namespace

OpenedPage::OpenedPage(std::unique_ptr<State> state) : state_(std::move(state)) {}
OpenedPage::OpenedPage(OpenedPage&&) noexcept = default;
OpenedPage& OpenedPage::operator=(OpenedPage&&) noexcept = default;
OpenedPage::~OpenedPage() = default;
const std::string& OpenedPage::path() const { return state_->path; }
const EntryIdentity& OpenedPage::entry() const { return state_->entry; }
std::uint64_t OpenedPage::staged_size() const { return state_->staged; }

PageFiles::PageFiles() : folders_(std::make_unique<Folders>()) {}
PageFiles::~PageFiles() = default;

std::variant<OpenedPage, IoError> PageFiles::read(const std::string& path, PageBuffer& out) {
  return read_page(*folders_, path, out, 0);
}
std::variant<OpenedPage, IoError> PageFiles::read(const std::string& path, std::string& out,
                                                  std::size_t headroom) {
  return read_page(*folders_, path, out, headroom);
}

std::variant<OpenedPage, IoError> PageFiles::reread(const OpenedPage& page, PageBuffer& out) {
  const OpenedPage::State& s = page.state();
  return read_entry(s.folder, s.entry.name, s.path, out, 0);
}
std::variant<OpenedPage, IoError> PageFiles::reread(const OpenedPage& page, std::string& out,
                                                    std::size_t headroom) {
  const OpenedPage::State& s = page.state();
  return read_entry(s.folder, s.entry.name, s.path, out, headroom);
}

std::optional<IoError> PageFiles::stage(OpenedPage& page,
                                        std::span<const std::string_view> pieces) {
  OpenedPage::State& s = page.state();
  if (folders_->cleaned.insert(s.folder->identity).second) remove_leftovers(*s.folder);
  // A replacement would bypass the read-only attribute, which the user set on purpose.
  if ((s.read_info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
    return error_from(s.path, ERROR_ACCESS_DENIED);

  s.temporary = create_temporary(*s.folder, s.temporary_path);
  if (!s.temporary.valid()) {
    const DWORD code = ::GetLastError();
    s.temporary_path.clear();
    return error_from(s.path, code);
  }
  auto fail = [&](IoError error) {
    s.discard_temporary();
    return error;
  };
  if (auto error = write_all(s.temporary.get(), pieces, s.path)) return fail(*error);
  // On stable storage before it replaces the page, so that a power cut leaves the old page or
  // the new one, never an empty file.
  if (!::FlushFileBuffers(s.temporary.get())) return fail(error_from(s.path, ::GetLastError()));
  for (std::string_view piece : pieces) s.staged += piece.size();
  return std::nullopt;
}

std::size_t PageFiles::staging_capacity() const { return 512; }

std::optional<IoError> PageFiles::make_durable() {
  // Each staged file was flushed as it was written: flushing a whole volume at once needs
  // administrator rights on Windows.
  return std::nullopt;
}

std::variant<CommitOutcome, IoError> PageFiles::commit(OpenedPage& page) {
  OpenedPage::State& s = page.state();
  fault_injection::run_before_replace(s.path);
  const std::wstring target = s.page_path();
  auto fail = [&](DWORD code) {
    s.discard_temporary();
    return error_from(s.path, code);
  };
  {
    // Opened for deletion, as the swap will: a page another program holds open without letting
    // it be replaced is refused here, before the swap could fail halfway (Wine's ReplaceFileW
    // leaves a file of its own behind when it does).
    Handle now(::CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES | DELETE, win32::kShareAll,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!now.valid()) {
      const DWORD code = ::GetLastError();
      if (code != ERROR_FILE_NOT_FOUND) return fail(code);
      s.discard_temporary();
      return CommitOutcome::changed;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(now.get(), &info)) return fail(::GetLastError());
    if (!unchanged(info, s.read_info)) {
      s.discard_temporary();
      return CommitOutcome::changed;
    }
  }
  // The new file takes the page's attributes (ReplaceFileW carries them on Windows, not on every
  // file system or emulation), which also ends its hidden state.
  const DWORD attributes =
      s.read_info.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  if (!s.temporary.close()) return fail(::GetLastError());
  ::SetFileAttributesW(s.temporary_path.c_str(),
                       attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
  if (!::ReplaceFileW(target.c_str(), s.temporary_path.c_str(), nullptr,
                      REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    const DWORD code = ::GetLastError();
    // A page in use, or one the user may not replace, is refused as it stands; where the file
    // system cannot replace with its metadata, a plain replacing rename still swaps the content
    // in one step.
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED ||
        code == ERROR_USER_MAPPED_FILE || code == ERROR_LOCK_VIOLATION)
      return fail(code);
    if (!::MoveFileExW(s.temporary_path.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return fail(::GetLastError());
  }
  s.temporary_path.clear();
  s.staged = 0;
  return CommitOutcome::replaced;
}

void PageFiles::end_commits() {}

std::optional<IoError> PageFiles::sync_written() {
  // The replacements are in the file system's journal; without administrator rights there is no
  // call that waits for it (see make_durable).
  return std::nullopt;
}

}  // namespace qv
