#include "run/messages.h"

#include "batch/report_words.h"
#include "system/file_io.h"

namespace qv {

std::string text_file_error_prompt(const IoError& error) {
  return "Cannot read the text file to insert:\n" + error.path + "\n" + error.reason +
         "\n\nNo page has been changed.";
}

std::string page_error_prompt(const IoError& error, PageAccess access, std::int64_t upgraded) {
  return std::string(access == PageAccess::read ? "Cannot read the page:\n"
                                                : "Cannot write the page:\n") +
         error.path + "\n" + error.reason +
         "\n\nThe run stops here: this page and the ones after it are unchanged. Before it, " +
         page_count(static_cast<std::size_t>(upgraded)) + " received the text.";
}

std::string not_kept_prompt(const std::vector<std::string>& notes) {
  std::string prompt = "The pages were written, but not everything of them could be kept:";
  for (const std::string& note : notes) prompt += "\n" + note;
  return prompt;
}

std::string sync_error_prompt(const IoError& error) {
  std::string prompt(kUnconfirmedSync);
  prompt[0] = 'T';
  return prompt + ":\n" + error.path + "\n" + error.reason;
}

}  // namespace qv
