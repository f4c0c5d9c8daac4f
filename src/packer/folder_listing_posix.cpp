// Folder listing on POSIX systems (see folder_listing.h).
#include <system_error>

#include "packer/folder_listing.h"

namespace sfx {

namespace fs = std::filesystem;

bool ListFolder(const fs::path& folder, std::vector<FolderItem>* items, std::string* error) {
  std::error_code code;
  fs::directory_iterator it(folder, code);
  for (; !code && it != fs::directory_iterator(); it.increment(code)) {
    FolderItem item;
    item.name = it->path().filename();
    const fs::file_status status = it->symlink_status(code);
    if (code) break;
    if (fs::is_symlink(status)) {
      item.kind = FolderItem::Kind::kLink;
    } else if (fs::is_directory(status)) {
      item.kind = FolderItem::Kind::kFolder;
    } else if (fs::is_regular_file(status)) {
      item.kind = FolderItem::Kind::kFile;
      item.size = it->file_size(code);
      if (code) break;
    }
    items->push_back(std::move(item));
  }
  if (code) *error = code.message();
  return !code;
}

}  // namespace sfx
