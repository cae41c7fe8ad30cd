#include "run/messages.h"

#include "files/file_io.h"

namespace qv {

std::string text_file_error_prompt(const IoError& error) {
  return "Cannot read the text file to insert:\n" + error.path + "\n" + error.reason +
         "\n\nNo page has been changed.";
}

std::string page_error_prompt(const IoError& error, PageAccess access, std::int64_t upgraded) {
  const std::string received = upgraded == 0   ? "no page"
                               : upgraded == 1 ? "1 page"
                                               : std::to_string(upgraded) + " pages";
  return std::string(access == PageAccess::read ? "Cannot read the page:\n"
                                                : "Cannot write the page:\n") +
         error.path + "\n" + error.reason +
         "\n\nThe run stops here: this page and the ones after it are unchanged. Before it, " +
         received + " received the text.";
}

}  // namespace qv

namespace qv {

std::string sync_error_prompt(const IoError& error) {
  return "The pages were rewritten, but the system could not confirm that they are safely on "
         "disk:\n" +
         error.path + "\n" + error.reason;
}

}  // namespace qv
