#include "tests/support/page_assertions.h"

#include <algorithm>
#include <filesystem>

#include "text/temporary_name.h"

namespace qv::testing {

std::vector<std::string> every_name(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> leftovers(const std::string& folder) {
  std::vector<std::string> names = every_name(folder);
  std::erase_if(names, [](const std::string& name) { return !is_temporary_name(name); });
  return names;
}

::testing::AssertionResult no_leftovers(const std::string& folder) {
  const std::vector<std::string> left = leftovers(folder);
  if (left.empty()) return ::testing::AssertionSuccess();
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  failure << "temporary files left in " << folder << ":";
  for (const std::string& name : left) failure << " " << name;
  return failure;
}

}  // namespace qv::testing
