#include "platform.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace platform {

const bool kWindowsPaths = false;

std::string executablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0)
      return std::string();
    if (static_cast<size_t>(n) < buffer.size())
      return std::string(buffer.data(), static_cast<size_t>(n));
    buffer.resize(buffer.size() * 2);  // it may have been cut: ask again
  }
}

void showMessage(const std::string& text) {
  const std::string line = "TEXTMORPH: " + text + "\n";
  fwrite(line.data(), 1, line.size(), stderr);
  fflush(stderr);
}

OpenResult openInput(const std::string& path, InputFile* file) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? OpenResult::Missing
                                               : OpenResult::Failed;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    return OpenResult::Failed;
  }
  file->handle = fd;
  file->size = static_cast<uint64_t>(info.st_size);
  return OpenResult::Opened;
}

int64_t readInput(InputFile* file, char* buffer, size_t capacity) {
  for (;;) {
    const ssize_t n = read(static_cast<int>(file->handle), buffer,
                           std::min<size_t>(capacity, SSIZE_MAX));
    if (n >= 0 || errno != EINTR)
      return n;
  }
}

void closeInput(InputFile* file) {
  if (file->handle >= 0)
    close(static_cast<int>(file->handle));
  file->handle = -1;
}

bool createPendingFile(const std::string& directory, PendingFile* file) {
  std::string name = directory + ".textmorph-XXXXXX";
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0)
    return false;
  file->handle = fd;
  file->path = name;
  return true;
}

bool writePending(PendingFile* file, const Slice* slices, size_t count) {
  const int fd = static_cast<int>(file->handle);
  std::vector<iovec> pieces;
  pieces.reserve(std::min<size_t>(count, IOV_MAX));
  for (size_t done = 0; done < count;) {
    pieces.clear();
    for (size_t i = done; i < count && pieces.size() < IOV_MAX; ++i)
      pieces.push_back({const_cast<char*>(slices[i].data), slices[i].size});
    done += pieces.size();
    // writev may write less than asked; go on from where it stopped.
    iovec* next = pieces.data();
    size_t left = pieces.size();
    while (left > 0) {
      const ssize_t n = writev(fd, next, static_cast<int>(left));
      if (n < 0) {
        if (errno == EINTR)
          continue;
        return false;
      }
      size_t written = static_cast<size_t>(n);
      while (left > 0 && written >= next->iov_len) {
        written -= next->iov_len;
        ++next;
        --left;
      }
      if (left > 0) {
        next->iov_base = static_cast<char*>(next->iov_base) + written;
        next->iov_len -= written;
      }
    }
  }
  return true;
}

bool commitPending(PendingFile* file, const std::string& target) {
  const int fd = static_cast<int>(file->handle);
  struct stat existing;
  bool ok;
  if (stat(target.c_str(), &existing) == 0) {
    ok = fchmod(fd, existing.st_mode & 07777) == 0;
    // Keeps the owner when root rewrites someone else's file; only root may.
    if (ok && (existing.st_uid != geteuid() || existing.st_gid != getegid()))
      (void)!fchown(fd, existing.st_uid, existing.st_gid);
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    ok = fchmod(fd, 0664 & ~mask) == 0;
  }
  file->handle = -1;
  // close reports write errors that some file systems hold back until then.
  ok = (close(fd) == 0) && ok;
  ok = ok && rename(file->path.c_str(), target.c_str()) == 0;
  if (!ok)
    unlink(file->path.c_str());
  return ok;
}

void discardPending(PendingFile* file) {
  if (file->handle >= 0)
    close(static_cast<int>(file->handle));
  file->handle = -1;
  unlink(file->path.c_str());
}

void* reserveMemory(size_t size) {
  void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (base == MAP_FAILED)
    return nullptr;
#ifdef MADV_HUGEPAGE
  // Fewer, larger pages: on virtual machines a fault costs microseconds, and
  // a large text would take hundreds of thousands of them.
  madvise(base, size, MADV_HUGEPAGE);
#endif
  return base;
}

bool commitMemory(void*, size_t) {
  return true;  // pages come with the first touch
}

void releaseMemory(void* base, size_t size) {
  munmap(base, size);
}

}  // namespace platform
