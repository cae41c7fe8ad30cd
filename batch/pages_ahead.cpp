#include "batch/pages_ahead.h"

#include <algorithm>

namespace qv {
namespace {

// Enough requests under way to hide each round trip behind the others', few enough to stay
// polite to a server; the bytes bound keeps the memory that large pages take in check.
constexpr std::size_t kThreads = 8;
constexpr std::size_t kPages = 16;
constexpr std::uint64_t kBytes = 64u << 20;

}  // namespace

PagesAhead::PagesAhead(PageFiles& files) : files_(files), workers_(kThreads) {}

PagesAhead::~PagesAhead() {
  drop_all();
  settle();
}

bool PagesAhead::full() const {
  if (pages_.size() >= kPages) return true;
  std::uint64_t bytes = 0;
  for (const auto& page : pages_)
    if (page->decided) bytes += page->bytes.size() + page->content.size();
  return bytes >= kBytes;
}

void PagesAhead::read(std::size_t index, const std::string& path) {
  Page& page = *pages_.emplace_back(std::make_unique<Page>());
  page.index = index;
  workers_.run([this, &page, &path] { page.read = files_.read(path, page.bytes); }, page.job_ended);
}

PagesAhead::Page* PagesAhead::wait() {
  free_dropped(false);
  auto undecided = std::find_if(pages_.begin(), pages_.end(), [](auto& p) { return !p->decided; });
  Page* to_decide = undecided == pages_.end() ? nullptr : undecided->get();
  Page& first = *pages_.front();
  bool decide = false;
  auto ready = [&] {
    decide = to_decide != nullptr && to_decide->job_ended;
    return decide || (first.decided && first.job_ended);
  };
  if (!workers_.holds(ready)) {
    files_.end_commits();  // no other run is kept waiting on this one's wait
    workers_.wait_until(ready);
  }
  return decide ? to_decide : nullptr;
}

void PagesAhead::stage(Page& page, std::span<const std::string_view> pieces) {
  for (std::string_view piece : pieces) page.content += piece;
  workers_.run(
      [this, &page] {
        const std::string_view content = page.content;
        page.stage_error = files_.stage(std::get<OpenedPage>(*page.read), {&content, 1});
      },
      page.job_ended);
}

std::unique_ptr<PagesAhead::Page> PagesAhead::take_front() {
  std::unique_ptr<Page> page = std::move(pages_.front());
  pages_.pop_front();
  return page;
}

void PagesAhead::drop_from(const Page& page) {
  for (std::size_t i = 0; i < pages_.size(); ++i)
    if (pages_[i].get() == &page) return drop(i);
}

void PagesAhead::drop_after(const Page& page) {
  for (std::size_t i = 0; i < pages_.size(); ++i)
    if (pages_[i].get() == &page) return drop(i + 1);
}

void PagesAhead::drop(std::size_t first) {
  while (pages_.size() > first) {
    dropped_.push_back(std::move(pages_.back()));
    pages_.pop_back();
  }
}

// Frees the given-up pages whose jobs have ended (all of them, waiting, when `wait`).
void PagesAhead::free_dropped(bool wait) {
  if (dropped_.empty()) return;
  auto ended = [this] {
    return std::all_of(dropped_.begin(), dropped_.end(), [](auto& p) { return p->job_ended; });
  };
  if (wait) {
    workers_.wait_until(ended);
    dropped_.clear();
    return;
  }
  std::vector<std::unique_ptr<Page>> done;
  workers_.holds([&] {
    for (auto& page : dropped_)
      if (page->job_ended) done.push_back(std::move(page));
    std::erase(dropped_, nullptr);
    return true;
  });
}  // `done` goes here, outside the workers' lock: closes the pages, removes their files

}  // namespace qv
