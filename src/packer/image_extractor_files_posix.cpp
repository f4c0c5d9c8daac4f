// Folders and files of an extraction on POSIX systems (see
// image_extractor_files.h).
//
// Every step below the target folder goes through a descriptor of the
// folder above it: each folder is opened with openat(O_NOFOLLOW |
// O_DIRECTORY) and the file with openat(O_NOFOLLOW), so a symbolic link
// anywhere on the way fails the open itself rather than a check made before
// it, and renaming things on the way cannot redirect a later step. The file
// is created with O_CREAT | O_EXCL, which never opens what exists (a link
// included); to replace, the old name is unlinked first, so a hard-linked
// file keeps its content under its other names and a file's permissions
// never carry over to the new one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "packer/entry_name_text.h"
#include "packer/host_path.h"
#include "packer/image_extractor_files.h"
#include "packer/pack_error.h"

namespace sfx {

namespace fs = std::filesystem;

namespace {

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  // Hands the descriptor over without closing it.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::string Reason(int error) { return std::strerror(error); }

// Opens (creating when missing) the folder `name` in the folder `parent`.
int EnterFolder(int parent, const std::string& name, const fs::path& shown) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  int fd = openat(parent, name.c_str(), kFlags);
  if (fd < 0 && errno == ENOENT) {
    if (mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
      throw PackError("cannot create the folder " + PrintableQuotedPath(shown) + " (" + Reason(errno) + ")");
    }
    fd = openat(parent, name.c_str(), kFlags);
  }
  if (fd >= 0) return fd;
  struct stat st;
  if (fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(st.st_mode)) throw PackError(PrintableQuotedPath(shown) + " is a symbolic link; not following it");
    if (!S_ISDIR(st.st_mode)) throw PackError(PrintableQuotedPath(shown) + " exists and is not a folder");
  }
  throw PackError("cannot open the folder " + PrintableQuotedPath(shown) + " (" + Reason(errno) + ")");
}

// Creates the file `name` in `folder` exclusively; with `replace`, a file
// or link already there is unlinked first.
int CreateFile(int folder, const std::string& name, const fs::path& shown, bool replace) {
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = openat(folder, name.c_str(), kFlags, 0666);
  if (fd < 0 && errno == EEXIST) {
    struct stat st;
    if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
      throw PackError(PrintableQuotedPath(shown) + " exists and is a folder");
    }
    if (!replace) throw PackError(PrintableQuotedPath(shown) + " already exists; not replacing it");
    if (unlinkat(folder, name.c_str(), 0) != 0 && errno != ENOENT) {
      throw PackError("cannot remove the existing " + PrintableQuotedPath(shown) + " (" + Reason(errno) + ")");
    }
    fd = openat(folder, name.c_str(), kFlags, 0666);
  }
  if (fd < 0) throw PackError("cannot create " + PrintableQuotedPath(shown) + " (" + Reason(errno) + ")");
  return fd;
}

void WriteAll(int fd, const std::uint8_t* data, std::uint32_t size, const fs::path& shown) {
  while (size != 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw PackError("cannot write " + PrintableQuotedPath(shown) + " (" + Reason(errno) + ")");
    data += written;
    size -= static_cast<std::uint32_t>(written);
  }
}

}  // namespace

void WriteFileBelow(const fs::path& root, const std::vector<std::string>& parts, const std::uint8_t* data,
                    std::uint32_t size, bool replace) {
  Descriptor folder(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0) {
    throw PackError("cannot open the target folder " + PrintableQuotedPath(root) + " (" + Reason(errno) + ")");
  }
  fs::path shown = root;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    shown /= Utf8ToPath(parts[i]);
    folder.reset(EnterFolder(folder.get(), parts[i], shown));
  }
  shown /= Utf8ToPath(parts.back());
  Descriptor file(CreateFile(folder.get(), parts.back(), shown, replace));
  WriteAll(file.get(), data, size, shown);
  if (close(file.release()) != 0)
    throw PackError("cannot write " + PrintableQuotedPath(shown) + " (" + Reason(errno) + ")");
}

}  // namespace sfx
