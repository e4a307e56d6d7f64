#include "workflow/export_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "text/codepage.h"

std::string ProgramDirectory() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  const std::string exe(path, static_cast<size_t>(n));
  const size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

std::string BookFilePath(const std::string& directory, const Text& bookTitle) {
  for (const char c : bookTitle) {
    // Both separators count, so a title means the same file name on every platform.
    if (c == '/' || c == '\\' || (static_cast<unsigned char>(c) < 0x20) || c == 0x7F) return {};
  }
  const std::string separator = (!directory.empty() && directory.back() == '/') ? "" : "/";
  return directory + separator + GbkToUtf8(bookTitle) + ".txt";
}

bool WriteBookFile(const std::string& directory, const Text& bookTitle, const Text& content) {
  const std::string path = BookFilePath(directory, bookTitle);
  if (path.empty()) return false;
  // Ask the file system about the name before writing anything: a name it refuses fails here.
  const size_t slash = path.rfind('/');
  if (path.size() - slash - 1 > NAME_MAX) return false;

  std::string temporary = directory + "/.norvel-export-XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < content.size();) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  // The temporary file is created 0600; the book file gets the usual permissions.
  ok = ok && fchmod(fd, 0644) == 0;
  ok = ok && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}
