#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "batch/page_batch.h"
#include "engine/marker.h"
#include "files/folder_listing.h"

namespace qv::cli {

// The name every message of the program starts with.
inline constexpr std::string_view kProgramName = "quorvane-insert-cli";

// The file-name pattern used in folders when none is given.
inline constexpr std::string_view kDefaultPattern = "*.htm;*.html";

// What the command line asks for.
enum class Action { run, show_settings, help, version };
// What a run does to each page.
enum class Operation {
  insert,   // put the text before the last tag
  remove,   // take out the text where an insertion put it
  replace,  // swap the old text for the text where an insertion put it, else insert the text
};
// Whether a page that already holds the insertion text receives it again.
enum class Presence { insert_again, skip_present };
// Whether a run prints the unified diff of each page it changes.
enum class Preview { none, diff };
// How much is written to standard output.
enum class Verbosity { quiet, normal, verbose };

// A command line, read.
struct Options {
  Action action = Action::run;
  Operation operation = Operation::insert;
  std::string text_file;                    // the file holding the text to insert (or remove)
  std::string old_text_file;                // with Operation::replace: the text to swap out
  std::vector<std::string> paths;           // pages and folders, in the order given
  std::optional<std::string> tag;           // replaces the tag from the settings
  std::optional<MarkerCheck> marker_check;  // replaces the marker check from the settings
  std::string pattern{kDefaultPattern};
  Recursion recursion = Recursion::top_folder_only;
  WriteMode write_mode = WriteMode::write;
  Presence presence = Presence::insert_again;
  Preview preview = Preview::none;
  Verbosity verbosity = Verbosity::normal;
};

// A command line that cannot be run, and why.
struct UsageError {
  std::string message;
};

// Reads `arguments` (the program's name excluded). Options and operands may be mixed; "--" ends
// the options. Where an option is given more than once, or with its opposite, the last one wins
// (--remove and --replace included). --help and --version answer at once, whatever follows them;
// --show-settings takes the other options into account and no operands.
std::variant<Options, UsageError> parse_arguments(std::span<const std::string> arguments);

// The one-line synopsis, ending in a line break.
std::string usage_text();

// The full description of the command line, ending in a line break.
std::string help_text();

}  // namespace qv::cli
