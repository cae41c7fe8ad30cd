#pragma once

// What a run leaves in a folder when it dies (killed, cut off by a power cut, or on a machine
// that went away), and the two-step replacement whose intent records let a later run finish it.
#include <optional>
#include <string>
#include <vector>

#include "system/page_io.h"

namespace qv {

// Puts back the pages whose two-step replacement a dead run left half done (their names gone,
// their new content whole in a temporary file), then removes the temporary files whose maker is
// gone, never one that may be a page's only copy nor one of a live run, here or on another
// machine reaching the folder. Best effort. Returns, for each page put back, "restored <page>
// from an interrupted run", the page named under `folder_path`.
std::vector<std::string> clear_dead_runs(const sys::Folder& folder, const std::string& folder_path,
                                         const sys::FolderCapabilities& can);

// Replaces the entry `name` of `folder` by its staged file `temporary_name` where the file system
// cannot rename over a file: the page is removed, then the staged file (complete and on stable
// storage) renamed to its name, under an intent record written to stable storage first; the
// renamed file (`temporary`, when still open) and the folder are flushed before the record goes.
// On a failure after the removal, `only_copy` is set: the staged file then holds the page, and the
// next run's clear_dead_runs puts it in place. Errors name `path`.
std::optional<IoError> replace_in_two_steps(const sys::Folder& folder, const std::string& name,
                                            const std::string& temporary_name,
                                            const sys::File& temporary, const std::string& path,
                                            bool& only_copy);

}  // namespace qv
