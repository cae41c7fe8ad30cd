#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "batch/page_batch.h"

namespace qv {

struct IoError;

// Texts of the run's message boxes, exactly as users have always seen them (leading and trailing
// spaces included).
namespace message {
inline constexpr std::string_view kGoTitle = " Insert text in HTML";
inline constexpr std::string_view kBadTag = " BAD TAG";
inline constexpr std::string_view kConfirm = " Are you sure to modified";
inline constexpr std::string_view kFiles = " files";
inline constexpr std::string_view kUpgraded = " file(s) have been upgraded ";

inline constexpr std::string_view kLoadTitle = "Insert text in Html files";
inline constexpr std::string_view kNoFileToInsert = "no file to insert";

inline constexpr std::string_view kMarkerTitle = " Insert text in HTML file";
inline constexpr std::string_view kNotQuorvane = " it is not a quorvane file";

// Title of the messages that report a file the run could not read or write: the run's own.
inline constexpr std::string_view kFileErrorTitle = kGoTitle;
}  // namespace message

// The prompt shown when the text file to insert cannot be read: no page has been touched.
std::string text_file_error_prompt(const IoError& error);

// The prompt shown when a page cannot be read or written: the run stops at that page, after
// `upgraded` pages before it received the text.
std::string page_error_prompt(const IoError& error, PageAccess access, std::int64_t upgraded);

// The prompt shown when the rewritten pages could not be confirmed on stable storage.
std::string sync_error_prompt(const IoError& error);

// The prompt that tells what the file systems written to could not keep of the pages (`notes`,
// one per file system).
std::string not_kept_prompt(const std::vector<std::string>& notes);

}  // namespace qv
