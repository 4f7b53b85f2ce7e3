#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/PrivateFolder.h"

namespace velmar {

namespace {

std::string CheckOne(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) return path + ": " + std::strerror(errno);
    // mkdir never follows a link planted in its place; the lstat below sees what is there now.
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
      return path + " cannot be created: " + std::strerror(errno);
    if (lstat(path.c_str(), &info) != 0) return path + ": " + std::strerror(errno);
  }
  if (S_ISLNK(info.st_mode)) return path + " is a link, not a folder";
  if (!S_ISDIR(info.st_mode)) return path + " is not a folder";
  if (info.st_uid != geteuid()) return path + " belongs to user " + std::to_string(info.st_uid);
  if (info.st_mode & (S_IWGRP | S_IWOTH)) return path + " is writable by other users";
  return {};
}

}  // namespace

std::string PreparePrivateFolder(const std::string& path, int levels) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();  // "x/" follows a link
  std::vector<std::string> chain{trimmed};
  for (int i = 1; i < levels; ++i) {
    const std::string& inner = chain.back();
    const auto slash = inner.find_last_of('/');
    if (slash == std::string::npos || slash == 0) break;
    chain.push_back(inner.substr(0, slash));
  }
  // Outermost first, so each folder is made inside one already checked.
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    std::string problem = CheckOne(*it);
    if (!problem.empty()) return problem;
  }
  return {};
}

}  // namespace velmar
