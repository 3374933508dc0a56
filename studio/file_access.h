// studio/file_access.h: the model and query files of the studio's folder, and nothing outside.
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Reads and writes files below one root folder. A path from the page is relative, has no
// `..` component, and may not reach outside the root through a symbolic link either.
class FileAccess {
public:
  explicit FileAccess(const std::filesystem::path& root);

  // The regular files below the root (relative paths, sorted), at most `limit` of them;
  // hidden entries are skipped and links leading out are not followed.
  std::vector<std::string> list(std::size_t limit = 2000) const;

  // The file's content, or nothing when the path is refused, missing, not a regular file,
  // or larger than maxSize bytes.
  std::optional<std::string> read(const std::string& relative, std::size_t maxSize) const;
  // Writes (creates or replaces) the file; its folder must exist. False when refused or failed.
  bool write(const std::string& relative, const std::string& content) const;

  // The absolute place of `relative` below the root when the path is acceptable: for reading
  // the file itself must exist inside the root; for writing its folder must, and an existing
  // file must not be a link.
  std::optional<std::filesystem::path> resolve(const std::string& relative, bool forWriting) const;

private:
  bool isInside(const std::filesystem::path& canonical) const;

  std::filesystem::path root_;  // canonical
};
