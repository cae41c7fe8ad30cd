#include "batch/page_batch.h"

#include <set>

#include "files/page_buffer.h"

namespace qv {
namespace {

std::string folder_of(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

}  // namespace

BatchResult rewrite_pages(std::span<const std::string> paths, PageEditor& editor, WriteMode mode) {
  BatchResult result;
  PageBuffer buffer;  // one for the whole batch: pages seldom need it to grow
  std::set<std::string> written_folders;
  std::set<std::string> rewritten;  // the files given new content, as resolved paths
  PathResolver resolver;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    PageOutcome outcome = PageOutcome::unchanged;
    // A second path to a file already rewritten would give it the text twice.
    const std::optional<std::string> file = resolver.resolve(paths[i]);
    if (file && rewritten.contains(*file)) {
      outcome = PageOutcome::already_rewritten;
    } else {
      if (std::optional<IoError> error = read_file(paths[i], buffer)) {
        result.failure = PageFailure{i, PageAccess::read, std::move(*error)};
        break;
      }
      if (std::optional<std::vector<std::string_view>> pieces = editor.edit(i, buffer.view())) {
        if (mode == WriteMode::write) {
          if (std::optional<IoError> error = replace_file(paths[i], *pieces)) {
            result.failure = PageFailure{i, PageAccess::write, std::move(*error)};
            break;
          }
          // The folder of the file itself: a link may lead to another file system.
          written_folders.insert(folder_of(file ? *file : paths[i]));
        }
        if (file) rewritten.insert(*file);
        ++result.written;
        outcome = PageOutcome::changed;
      }
    }
    ++result.done;
    editor.page_done(i, outcome);
    if (editor.stop_requested()) break;
  }
  std::vector<std::string> folders(written_folders.begin(), written_folders.end());
  result.sync_error = sync_file_systems(folders);
  return result;
}

}  // namespace qv
