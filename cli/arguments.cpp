#include "cli/arguments.h"

namespace qv::cli {
namespace {

// Options that take a value, either as the next argument or after '='.
enum class Valued { tag, pattern, replace };

struct ValuedOption {
  std::string_view name;
  Valued which;
};

constexpr ValuedOption kValuedOptions[] = {
    {"--tag", Valued::tag}, {"--pattern", Valued::pattern}, {"--replace", Valued::replace}};

UsageError usage_error(std::string message) { return UsageError{std::move(message)}; }

// Applies an option that takes no value; false when `name` is none of them.
bool apply_flag(std::string_view name, Options& options) {
  if (name == "-r" || name == "--recursive") {
    options.recursion = Recursion::into_subfolders;
  } else if (name == "--dry-run") {
    options.write_mode = WriteMode::dry_run;
  } else if (name == "--diff") {
    options.preview = Preview::diff;
  } else if (name == "--remove") {
    options.operation = Operation::remove;
  } else if (name == "--show-settings") {
    options.action = Action::show_settings;
  } else if (name == "--skip-present") {
    options.presence = Presence::skip_present;
  } else if (name == "--verify") {
    options.marker_check = MarkerCheck::on;
  } else if (name == "--no-verify") {
    options.marker_check = MarkerCheck::off;
  } else if (name == "-v" || name == "--verbose") {
    options.verbosity = Verbosity::verbose;
  } else if (name == "-q" || name == "--quiet") {
    options.verbosity = Verbosity::quiet;
  } else if (name == "-h" || name == "--help") {
    options.action = Action::help;
  } else if (name == "--version") {
    options.action = Action::version;
  } else {
    return false;
  }
  return true;
}

std::optional<UsageError> apply_value(Valued which, std::string value, Options& options) {
  switch (which) {
    case Valued::tag:
      if (value.empty()) return usage_error("the tag given with --tag is empty");
      options.tag = std::move(value);
      break;
    case Valued::pattern:
      if (value.empty()) return usage_error("the pattern given with --pattern is empty");
      options.pattern = std::move(value);
      break;
    case Valued::replace:
      if (value.empty()) return usage_error("the old text file given with --replace is empty");
      options.operation = Operation::replace;
      options.old_text_file = std::move(value);
      break;
  }
  return std::nullopt;
}

}  // namespace

std::variant<Options, UsageError> parse_arguments(std::span<const std::string> arguments) {
  Options options;
  std::vector<std::string> operands;
  bool options_ended = false;

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options_ended || argument.size() < 2 || argument.front() != '-') {
      operands.push_back(argument);  // "-" alone is a name too
      continue;
    }
    if (argument == "--") {
      options_ended = true;
      continue;
    }

    const std::size_t equals = argument.starts_with("--") ? argument.find('=') : std::string::npos;
    const std::string_view name = std::string_view(argument).substr(0, equals);

    const ValuedOption* valued = nullptr;
    for (const ValuedOption& candidate : kValuedOptions)
      if (candidate.name == name) valued = &candidate;

    if (valued != nullptr) {
      std::string value;
      if (equals != std::string::npos) {
        value = argument.substr(equals + 1);
      } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
      } else {
        return usage_error("option '" + std::string(name) + "' needs a value");
      }
      if (std::optional<UsageError> error = apply_value(valued->which, std::move(value), options))
        return *error;
      continue;
    }
    if (!apply_flag(name, options)) return usage_error("unknown option '" + argument + "'");
    if (equals != std::string::npos)
      return usage_error("option '" + std::string(name) + "' takes no value");
    if (options.action == Action::help || options.action == Action::version) return options;
  }

  if (options.action == Action::show_settings) {
    if (!operands.empty()) return usage_error("--show-settings takes no text file and no pages");
    return options;
  }
  if (operands.empty()) return usage_error("no text file and no pages given");
  if (operands.size() == 1) return usage_error("no pages given after the text file");
  options.text_file = std::move(operands.front());
  options.paths.assign(std::make_move_iterator(operands.begin() + 1),
                       std::make_move_iterator(operands.end()));
  return options;
}

std::string usage_text() {
  const std::string name(kProgramName);
  return "Usage: " + name + " [options] TEXT_FILE PATH...\n" + "       " + name +
         " --show-settings [--tag TEXT] [--verify|--no-verify]\n";
}

std::string help_text() {
  return usage_text() +
         "Inserts the text of TEXT_FILE, framed by CR LF on each side, just before the last\n"
         "occurrence of the tag in each page, rewriting the pages in place. Each PATH is a page,\n"
         "or a folder whose files matching the pattern are processed in alphabetical order.\n"
         "The tag and the marker check come from quorvane.ini beside the program, as in the\n"
         "window; the options below override them. The tag is compared byte for byte: a page\n"
         "that holds it only in another letter case (</BODY>) is left alone, and the summary\n"
         "counts such pages and gives the --tag that reaches them (-v names them).\n"
         "\n"
         "With --remove, takes the text of TEXT_FILE out of each page where an insertion put\n"
         "it (on its own lines just before the last tag), which gives the page back byte for\n"
         "byte; pages where it does not stand there are left alone. With --replace OLD_FILE,\n"
         "swaps the text of OLD_FILE for that of TEXT_FILE where an insertion put it, and\n"
         "inserts TEXT_FILE's text into the other pages that do not already contain it.\n"
         "\n"
         "Options:\n"
         "  --tag TEXT       insert before the last occurrence of TEXT (default </body>)\n"
         "  --verify         require the text to contain \"var quorvaneSite =\"\n"
         "  --no-verify      insert the text without checking it\n"
         "  --pattern P      file names to take from folders, ';'-separated, with * and ?\n"
         "                   (default *.htm;*.html, letter case ignored, hidden files skipped)\n"
         "  -r, --recursive  walk sub-folders too (hidden ones and links to folders skipped)\n"
         "  --dry-run        write nothing; list the pages that would receive the text\n"
         "  --diff           print on standard output a unified diff of each page changed\n"
         "                   (with --dry-run: that would be), for patch or git apply; the\n"
         "                   page lines and the summary then go to standard error\n"
         "  --skip-present   leave alone the pages that already contain the text\n"
         "  --remove         take the text out instead of inserting it (no marker check)\n"
         "  --replace OLD_FILE\n"
         "                   swap the text of OLD_FILE for the text, or insert the text\n"
         "  --show-settings  show where the settings file is, the tag and the marker check\n"
         "                   in effect and where each comes from, and the ignored lines\n"
         "  -v, --verbose    one line per page: what was done to it\n"
         "  -q, --quiet      print nothing but errors\n"
         "  -h, --help       show this help\n"
         "  --version        show the version\n"
         "  --               end of options (for page names starting with '-')\n"
         "\n"
         "Examples:\n"
         "  quorvane-insert-cli --dry-run --diff -r counter.txt ~/www | less\n"
         "                   review every change before making it\n"
         "  quorvane-insert-cli --remove -r counter.txt ~/www\n"
         "                   retire a snippet\n"
         "  quorvane-insert-cli -r --replace counter-v1.txt counter-v2.txt ~/www\n"
         "                   update it: version 2 takes the place of version 1\n"
         "\n"
         "Exit status:\n"
         "  0  done\n"
         "  1  a file could not be read or written (the run stops there)\n"
         "  2  bad usage\n"
         "  3  the text lacks the marker while the check is on (no page touched)\n";
}

}  // namespace qv::cli
