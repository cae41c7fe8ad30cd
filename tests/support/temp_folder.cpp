#include "tests/support/temp_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace qv::testing {

namespace fs = std::filesystem;

namespace {

// The path named by UTF-8 text, as the programs take their paths on every system.
fs::path utf8_path(const std::string& text) {
#ifdef _WIN32
  return fs::path(std::u8string(text.begin(), text.end()));
#else
  return fs::path(text);
#endif
}

}  // namespace

TempFolder::TempFolder() : TempFolder(fs::temp_directory_path().string()) {}

TempFolder::TempFolder(const std::string& parent) {
  // A new name each attempt: create_directory fails on one that exists, so no two tests (or
  // test processes) ever share a folder.
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path candidate = fs::path(parent) / ("qv-test-" + std::to_string(random()));
    std::error_code error;
    // With forward slashes on Windows too, which its file functions take as well: tests
    // build paths the same way on every system.
    if (fs::create_directory(candidate, error)) path_ = candidate.generic_string();
  }
  if (path_.empty()) throw std::runtime_error("cannot create a temp folder");
}

TempFolder::~TempFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info != nullptr && info->result() != nullptr && info->result()->Failed()) {
    std::cerr << "kept test folder: " << path_ << '\n';
    return;
  }
  std::error_code ignored;
  // Folders made read-only by a test must become writable again to be removed.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string TempFolder::operator/(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

std::string TempFolder::write(std::string_view name, std::string_view content) const {
  std::string file = *this / name;
  std::ofstream out(utf8_path(file), std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + file);
  return file;
}

std::string TempFolder::read(std::string_view name) const {
  std::string file = fs::path(name).is_absolute() ? std::string(name) : *this / name;
  std::ifstream in(utf8_path(file), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool try_symlink(const std::string& target, const std::string& link, bool to_folder) {
  std::error_code error;
  if (to_folder)
    fs::create_directory_symlink(target, link, error);
  else
    fs::create_symlink(target, link, error);
  return !error;
}

}  // namespace qv::testing
