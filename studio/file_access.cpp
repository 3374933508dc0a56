// The model and query files of the studio's folder.
#include "studio/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

FileAccess::FileAccess(const fs::path& root) {
  std::error_code error;
  root_ = fs::canonical(root, error);
  if (error) root_.clear();
}

bool FileAccess::isInside(const fs::path& canonical) const {
  if (root_.empty()) return false;
  return std::mismatch(root_.begin(), root_.end(), canonical.begin(), canonical.end()).first ==
         root_.end();
}

std::optional<fs::path> FileAccess::resolve(const std::string& relative, bool forWriting) const {
  if (root_.empty() || relative.empty() || relative.size() > 1024) return std::nullopt;
  if (relative.find('\0') != std::string::npos) return std::nullopt;
  fs::path path(relative);
  if (path.is_absolute() || path.has_root_name() || path.has_root_directory()) return std::nullopt;
  for (const fs::path& part : path)
    if (part == "..") return std::nullopt;
  fs::path full = root_ / path;
  std::error_code error;
  if (!forWriting) {
    fs::path canonical = fs::canonical(full, error);
    if (error || !isInside(canonical) || !fs::is_regular_file(canonical, error)) return std::nullopt;
    return canonical;
  }
  if (!path.has_filename() || path.filename() == ".") return std::nullopt;
  fs::path folder = fs::canonical(full.parent_path(), error);
  if (error || !isInside(folder) || !fs::is_directory(folder, error)) return std::nullopt;
  fs::path target = folder / path.filename();
  fs::file_status status = fs::symlink_status(target, error);
  if (fs::is_symlink(status)) return std::nullopt;
  if (fs::exists(status) && !fs::is_regular_file(status)) return std::nullopt;
  return target;
}

std::vector<std::string> FileAccess::list(std::size_t limit) const {
  std::vector<std::string> files;
  std::error_code error;
  if (root_.empty()) return files;
  fs::recursive_directory_iterator walk(root_, fs::directory_options::skip_permission_denied, error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    const fs::directory_entry& entry = *walk;
    std::string name = entry.path().filename().string();
    bool hidden = !name.empty() && (name[0] == '.' || name == "node_modules");
    if (hidden || walk.depth() > 6) {
      if (entry.is_directory(error)) walk.disable_recursion_pending();
      continue;
    }
    // Links are listed only when they stay inside; the walk itself does not follow them.
    if (!resolve(fs::relative(entry.path(), root_).string(), false)) continue;
    files.push_back(fs::relative(entry.path(), root_).string());
    if (files.size() >= limit) break;
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::optional<std::string> FileAccess::read(const std::string& relative, std::size_t maxSize) const {
  std::optional<fs::path> path = resolve(relative, false);
  if (!path) return std::nullopt;
  std::error_code error;
  if (fs::file_size(*path, error) > maxSize || error) return std::nullopt;
  std::ifstream in(*path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool FileAccess::write(const std::string& relative, const std::string& content) const {
  std::optional<fs::path> path = resolve(relative, true);
  if (!path) return false;
  // O_NOFOLLOW: a link put in place after resolve() is refused rather than followed.
  int fd = open(path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < content.size()) {
    ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return close(fd) == 0 && done == content.size();
}
