#include "cli/unified_diff.h"

#include <algorithm>

#include "text/path.h"

namespace qv::cli {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void append_hex(std::string& out, unsigned char byte) {
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

// Where the line holding the byte at `pos` starts.
std::size_t line_start(std::string_view text, std::size_t pos) {
  const std::size_t newline = pos == 0 ? std::string_view::npos : text.rfind('\n', pos - 1);
  return newline == std::string_view::npos ? 0 : newline + 1;
}

// Just past the LF that ends the line holding the byte at `pos`, or the end of `text`.
std::size_t line_end(std::string_view text, std::size_t pos) {
  const std::size_t newline = text.find('\n', pos);
  return newline == std::string_view::npos ? text.size() : newline + 1;
}

std::size_t count_lines(std::string_view text) {
  const auto breaks = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  return breaks + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

void append_bytes(std::string& out, std::string_view line, DiffBytes bytes) {
  if (bytes == DiffBytes::exact) {
    out += line;
    return;
  }
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    const auto next = static_cast<unsigned char>(i + 1 < line.size() ? line[i + 1] : 0);
    const bool line_break = byte == '\n' || (byte == '\r' && next == '\n');
    if ((byte < 0x20 && byte != '\t' && !line_break) || byte == 0x7F) {
      append_hex(out, byte);
    } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080 to U+009F
      append_hex(out, byte);
      append_hex(out, next);
      ++i;
    } else {
      out += static_cast<char>(byte);
    }
  }
}

// Each line of `lines` behind `mark` (' ', '-' or '+').
void append_lines(std::string& out, char mark, std::string_view lines, DiffBytes bytes) {
  while (!lines.empty()) {
    const std::string_view line = lines.substr(0, line_end(lines, 0));
    out += mark;
    append_bytes(out, line, bytes);
    if (line.back() != '\n') out += "\n\\ No newline at end of file\n";
    lines.remove_prefix(line.size());
  }
}

// "first,count" of a hunk side whose lines start after `lines_before` lines.
std::string hunk_range(std::size_t lines_before, std::size_t count) {
  return std::to_string(count == 0 ? lines_before : lines_before + 1) + "," + std::to_string(count);
}

}  // namespace

std::string diff_name(std::string_view path) {
  std::string name;
  for (char c : path) name += is_separator(c) ? '/' : c;
  for (;;) {
    if (name.starts_with("./")) {
      name.erase(0, 2);
    } else if (name.starts_with('/')) {
      name.erase(0, 1);
    } else {
      break;
    }
  }
  const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte < 0x7F && c != '"' && c != '\\';
  });
  if (plain) return name;
  std::string quoted = "\"";
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (byte < 0x20 || byte >= 0x7F) {
      quoted += '\\';
      quoted += static_cast<char>('0' + (byte >> 6));
      quoted += static_cast<char>('0' + ((byte >> 3) & 7));
      quoted += static_cast<char>('0' + (byte & 7));
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string unified_diff(std::string_view path, std::string_view before, std::string_view after,
                         DiffBytes bytes, std::size_t context) {
  if (before == after) return {};
  const std::size_t shorter = std::min(before.size(), after.size());
  const std::size_t prefix = static_cast<std::size_t>(
      std::mismatch(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(shorter),
                    after.begin())
          .first -
      before.begin());
  const std::size_t suffix = static_cast<std::size_t>(
      std::mismatch(before.rbegin(),
                    before.rbegin() + static_cast<std::ptrdiff_t>(shorter - prefix), after.rbegin())
          .first -
      before.rbegin());

  // The changed bytes, widened to whole lines. The two sides share everything after their
  // changed bytes, so widening both by the same count keeps them on the same line breaks.
  const std::size_t start = line_start(before, prefix);
  std::size_t end_before = before.size() - suffix;
  std::size_t end_after = after.size() - suffix;
  const auto mid_line = [start](std::string_view text, std::size_t end) {
    return end > start && text[end - 1] != '\n';
  };
  if (mid_line(before, end_before) || mid_line(after, end_after)) {
    const std::size_t widen = line_end(before, end_before) - end_before;
    end_before += widen;
    end_after += widen;
  }

  std::size_t first = start;
  for (std::size_t i = 0; i < context && first > 0; ++i) first = line_start(before, first - 1);
  std::size_t last = end_before;
  for (std::size_t i = 0; i < context && last < before.size(); ++i) last = line_end(before, last);
  const std::string_view lead = before.substr(first, start - first);
  const std::string_view removed = before.substr(start, end_before - start);
  const std::string_view added = after.substr(start, end_after - start);
  const std::string_view trail = before.substr(end_before, last - end_before);

  const std::size_t lines_before = count_lines(before.substr(0, first));
  const std::size_t shared = count_lines(lead) + count_lines(trail);
  const std::string name = diff_name(path);
  std::string out = "--- a/" + name + "\n+++ b/" + name + "\n";
  if (name.starts_with('"'))
    out = "--- \"a/" + name.substr(1) + "\n+++ \"b/" + name.substr(1) + "\n";
  out += "@@ -" + hunk_range(lines_before, shared + count_lines(removed)) + " +" +
         hunk_range(lines_before, shared + count_lines(added)) + " @@\n";
  append_lines(out, ' ', lead, bytes);
  append_lines(out, '-', removed, bytes);
  append_lines(out, '+', added, bytes);
  append_lines(out, ' ', trail, bytes);
  return out;
}

}  // namespace qv::cli
