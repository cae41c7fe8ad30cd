// The I/O floor of a run: the least any program must do to insert a text before the last tag of
// every page of a folder and replace the pages safely. For each regular file of FOLDER (hidden
// names skipped; an entry listed without its type is looked up), in directory order: read it whole,
// find the last TAG, and only when there is one write the new content to a temporary file in the
// same folder (one writev) and rename it over the page. Then one syncfs, so that the pages are on
// stable storage when it returns, as with the tool. No permissions, owners or links are looked at,
// no order is imposed, no message is written.
//
//
// With -p THREADS, the second floor: each page stays open from its read until its replacement has
// been renamed over it, and its last close is handed to a pool of THREADS threads. Where replacing
// a file frees its blocks synchronously (ext4 with `discard`), that release then happens at the
// close, off the renaming thread, instead of inside the rename. Renames stay in directory order;
// at most kQueued pages wait for their close; the pool is joined before the syncfs.
//
// Usage: floor [-p THREADS] TEXT_FILE FOLDER [TAG]     (TAG defaults to "</body>")
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

static void die(const char* what, const char* name) {
  perror(name);
  fprintf(stderr, "floor: cannot %s\n", what);
  exit(1);
}

// ------------------------------------------------------------------ the pool of closing threads

enum { kQueued = 64 };
static struct {
  pthread_mutex_t lock;
  pthread_cond_t changed;
  int fds[kQueued];
  unsigned head, count;
  int done;
} pool = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, {0}, 0, 0, 0};

static void* closer(void* unused) {
  (void)unused;
  pthread_mutex_lock(&pool.lock);
  for (;;) {
    while (pool.count == 0 && !pool.done) pthread_cond_wait(&pool.changed, &pool.lock);
    if (pool.count == 0) break;
    int fd = pool.fds[pool.head];
    pool.head = (pool.head + 1) % kQueued;
    --pool.count;
    pthread_cond_broadcast(&pool.changed);
    pthread_mutex_unlock(&pool.lock);
    close(fd);
    pthread_mutex_lock(&pool.lock);
  }
  pthread_mutex_unlock(&pool.lock);
  return NULL;
}

// Closes `fd` in the pool when there is one, here otherwise; waits while the queue is full.
static void close_later(int fd, int threads) {
  if (threads == 0) {
    close(fd);
    return;
  }
  pthread_mutex_lock(&pool.lock);
  while (pool.count == kQueued) pthread_cond_wait(&pool.changed, &pool.lock);
  pool.fds[(pool.head + pool.count) % kQueued] = fd;
  ++pool.count;
  pthread_cond_broadcast(&pool.changed);
  pthread_mutex_unlock(&pool.lock);
}

static void finish_pool(pthread_t* workers, int threads) {
  pthread_mutex_lock(&pool.lock);
  pool.done = 1;
  pthread_cond_broadcast(&pool.changed);
  pthread_mutex_unlock(&pool.lock);
  for (int i = 0; i < threads; ++i) pthread_join(workers[i], NULL);
}

// ------------------------------------------------------------------------------------- pages

// Reads the file at `name` (relative to `dir`) into *buffer, growing it as needed; returns the
// open descriptor in *kept when `kept` is not NULL, closes it otherwise.
static size_t read_whole(int dir, const char* name, char** buffer, size_t* capacity, int* kept) {
  int fd = openat(dir, name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) die("open", name);
  struct stat info;
  if (fstat(fd, &info) != 0) die("stat", name);
  size_t size = (size_t)info.st_size;
  if (size > *capacity) {
    free(*buffer);
    *capacity = size;
    *buffer = malloc(size);
    if (*buffer == NULL) die("allocate", name);
  }
  size_t filled = 0;
  while (filled < size) {
    ssize_t got = read(fd, *buffer + filled, size - filled);
    if (got < 0) die("read", name);
    if (got == 0) break;
    filled += (size_t)got;
  }
  if (kept != NULL)
    *kept = fd;
  else
    close(fd);
  return filled;
}

// Writes every piece in order, resuming after partial writes.
static void write_pieces(int fd, struct iovec* pieces, int count, const char* name) {
  while (count > 0) {
    ssize_t done = writev(fd, pieces, count);
    if (done < 0) die("write", name);
    size_t left = (size_t)done;
    for (; count > 0 && left >= pieces->iov_len; ++pieces, --count) left -= pieces->iov_len;
    if (count > 0) {
      pieces->iov_base = (char*)pieces->iov_base + left;
      pieces->iov_len -= left;
    }
  }
}

static const char* find_last(const char* page, size_t size, const char* tag, size_t tag_size) {
  if (tag_size == 0 || tag_size > size) return NULL;
  const char* end = page + size;
  const char* begin = page + tag_size - 1;
  while (end > begin) {
    const char* hit = memrchr(begin, tag[tag_size - 1], (size_t)(end - begin));
    if (hit == NULL) return NULL;
    if (memcmp(hit - (tag_size - 1), tag, tag_size - 1) == 0) return hit - (tag_size - 1);
    end = hit;
  }
  return NULL;
}

int main(int argc, char** argv) {
  int threads = 0;
  if (argc > 2 && strcmp(argv[1], "-p") == 0) {
    threads = atoi(argv[2]);
    argc -= 2;
    argv += 2;
  }
  if (argc < 3 || threads < 0 || threads > 64) {
    fprintf(stderr, "usage: floor [-p THREADS] TEXT_FILE FOLDER [TAG]\n");
    return 2;
  }
  pthread_t workers[64];
  for (int i = 0; i < threads; ++i)
    if (pthread_create(&workers[i], NULL, closer, NULL) != 0) die("start a thread", "floor");
  const char* tag = argc > 3 ? argv[3] : "</body>";
  const size_t tag_size = strlen(tag);

  char* text = NULL;
  size_t text_capacity = 0;
  size_t text_size = read_whole(AT_FDCWD, argv[1], &text, &text_capacity, NULL);

  int dir = open(argv[2], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) die("open the folder", argv[2]);
  DIR* listing = fdopendir(dup(dir));
  if (listing == NULL) die("list the folder", argv[2]);

  char* page = NULL;
  size_t capacity = 0;
  char temporary[4096];
  unsigned long written = 0;
  for (struct dirent* entry; (entry = readdir(listing)) != NULL;) {
    if (entry->d_name[0] == '.') continue;
    // Some file systems leave the type out of a listing: sshfs replays a folder listed in the last
    // 20 s from its own cache with no types. Those entries are looked up; links stay skipped.
    if (entry->d_type == DT_UNKNOWN) {
      struct stat info;
      if (fstatat(dir, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) die("stat", entry->d_name);
      if (!S_ISREG(info.st_mode)) continue;
    } else if (entry->d_type != DT_REG) {
      continue;
    }
    int page_fd = -1;
    size_t size = read_whole(dir, entry->d_name, &page, &capacity, threads > 0 ? &page_fd : NULL);
    const char* at = find_last(page, size, tag, tag_size);
    if (at == NULL) {
      if (page_fd >= 0) close(page_fd);
      continue;
    }

    snprintf(temporary, sizeof temporary, ".%s.floor-tmp", entry->d_name);
    int fd = openat(dir, temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) die("create a temporary file", temporary);
    struct iovec pieces[5] = {{page, (size_t)(at - page)},
                              {"\r\n", 2},
                              {text, text_size},
                              {"\r\n", 2},
                              {(char*)at, size - (size_t)(at - page)}};
    write_pieces(fd, pieces, 5, temporary);
    if (close(fd) != 0) die("close", temporary);
    if (renameat(dir, temporary, dir, entry->d_name) != 0) die("rename", temporary);
    if (page_fd >= 0) close_later(page_fd, threads);
    ++written;
  }
  finish_pool(workers, threads);
  if (syncfs(dir) != 0) die("sync", argv[2]);
  closedir(listing);
  close(dir);
  printf("%lu\n", written);
  return 0;
}
