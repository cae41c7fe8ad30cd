#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "window/controls.h"

namespace qv {

// What every binding's file list does, written once: the names in one folder that match a
// pattern, in the listing's order, listed again with nothing selected when the folder or the
// pattern takes another value. A binding adds the display and the selection.
class ListedFiles : public FileList {
 public:
  explicit ListedFiles(std::string_view pattern) : pattern_(pattern) {}

  std::string path() const override { return path_; }
  void set_path(std::string_view path) override;
  std::string pattern() const override { return pattern_; }
  void set_pattern(std::string_view pattern) override;
  std::size_t list_count() const override { return names_.size(); }
  std::string list(std::size_t index) const override { return names_.at(index); }

  // The names listed, in order.
  const std::vector<std::string>& names() const { return names_; }
  // Lists the folder again, nothing selected.
  void relist();

  // Raised when the user clicks a name (or moves the selection onto one with the keys).
  std::function<void()> on_click;

 protected:
  // The names are about to be listed again.
  virtual void names_changing() {}
  // The names were listed again: show them, nothing selected.
  virtual void show_names() = 0;

 private:
  std::string path_;
  std::string pattern_;
  std::vector<std::string> names_;
};

}  // namespace qv
