// Reading the command line: operands and options in any order, the last of opposite options
// winning, "--", and every way a command line can be unusable.
#include "cli/arguments.h"

#include <gtest/gtest.h>
#include <string>
#include <variant>
#include <vector>

namespace qv::cli {
namespace {

using Args = std::vector<std::string>;

Options parsed(const Args& arguments) {
  std::variant<Options, UsageError> result = parse_arguments(arguments);
  if (const UsageError* error = std::get_if<UsageError>(&result)) ADD_FAILURE() << error->message;
  return std::holds_alternative<Options>(result) ? std::get<Options>(result) : Options{};
}

std::string error_of(const Args& arguments) {
  std::variant<Options, UsageError> result = parse_arguments(arguments);
  EXPECT_TRUE(std::holds_alternative<UsageError>(result));
  return std::holds_alternative<UsageError>(result) ? std::get<UsageError>(result).message : "";
}

TEST(CliArguments, removeReplaceAndShowSettings) {
  const Options replace = parsed({"--remove", "--replace=old.txt", "new.txt", "site"});
  EXPECT_EQ(replace.operation, Operation::replace);  // the last one wins
  EXPECT_EQ(replace.old_text_file, "old.txt");
  EXPECT_EQ(replace.text_file, "new.txt");
  EXPECT_EQ(parsed({"--replace", "o.txt", "--remove", "t.txt", "p"}).operation, Operation::remove);
  EXPECT_EQ(parsed({"--show-settings", "--tag", "</p>"}).action, Action::show_settings);
  EXPECT_EQ(error_of({"--show-settings", "t.txt"}),
            "--show-settings takes no text file and no pages");
  EXPECT_EQ(error_of({"t.txt", "p", "--replace"}), "option '--replace' needs a value");
}

TEST(CliArguments, optionsMixWithOperandsAndTheLastOfOppositesWins) {
  const Options plain = parsed({"text.txt", "site"});
  EXPECT_EQ(plain.pattern, "*.htm;*.html");
  EXPECT_FALSE(plain.tag || plain.marker_check);

  const Options o =
      parsed({"--tag", "</div>", "text.txt", "--no-verify", "a", "--pattern=*.php", "-r", "b",
              "--dry-run", "--skip-present", "-v", "--quiet", "--verify", "--tag=</html>"});
  EXPECT_EQ(o.action, Action::run);
  EXPECT_EQ(o.text_file, "text.txt");
  EXPECT_EQ(o.paths, (Args{"a", "b"}));
  EXPECT_EQ(o.tag, "</html>");
  EXPECT_EQ(o.marker_check, MarkerCheck::on);
  EXPECT_EQ(o.pattern, "*.php");
  EXPECT_EQ(o.recursion, Recursion::into_subfolders);
  EXPECT_EQ(o.write_mode, WriteMode::dry_run);
  EXPECT_EQ(o.presence, Presence::skip_present);
  EXPECT_EQ(o.verbosity, Verbosity::quiet);
}

TEST(CliArguments, doubleDashEndsTheOptionsAndHelpAnswersAtOnce) {
  const Options o = parsed({"-v", "text.txt", "--", "-x.html", "--quiet", "-"});
  EXPECT_EQ(o.paths, (Args{"-x.html", "--quiet", "-"}));
  EXPECT_EQ(o.verbosity, Verbosity::verbose);
  EXPECT_EQ(parsed({"--tag", "--verify", "t", "p"}).tag, "--verify");
  EXPECT_EQ(parsed({"t", "-h", "--bogus"}).action, Action::help);
  EXPECT_EQ(parsed({"--version"}).action, Action::version);
  EXPECT_EQ(parsed({"t", "p", "--", "--help"}).action, Action::run);
}

TEST(CliArguments, unusableCommandLinesSayWhy) {
  EXPECT_EQ(error_of({"--bogus", "t", "p"}), "unknown option '--bogus'");
  EXPECT_EQ(error_of({"t", "p", "-vq"}), "unknown option '-vq'");
  EXPECT_EQ(error_of({"t", "p", "--tag"}), "option '--tag' needs a value");
  EXPECT_EQ(error_of({"--tag=", "t", "p"}), "the tag given with --tag is empty");
  EXPECT_EQ(error_of({"--pattern", "", "t", "p"}), "the pattern given with --pattern is empty");
  EXPECT_EQ(error_of({"--verbose=yes", "t", "p"}), "option '--verbose' takes no value");
  EXPECT_EQ(error_of({}), "no text file and no pages given");
  EXPECT_EQ(error_of({"-v", "t"}), "no pages given after the text file");
}

}  // namespace
}  // namespace qv::cli
