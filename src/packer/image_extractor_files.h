// How the extractor creates its folders and files on the host, in one
// source file per platform (image_extractor_files_posix.cpp and
// image_extractor_files_win32.cpp): nothing below the target folder is
// entered or written through a link, and no existing file is written to.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sfx {

// Writes `size` bytes of `data` to a new file named by `parts` (host names
// in UTF-8: the folders, then the file) below the folder `root`. Missing
// folders are created. The file is always created afresh and exclusively,
// so no existing file is ever written through: when something exists under
// its name, `replace` false throws PackError, and `replace` true removes a
// file or link of that name (never what a link points to) and creates the
// file again. Also throws PackError, naming the path and the system's
// reason, when a folder on the way is a link or not a folder, or a file or
// folder cannot be made. Nothing is written outside `root`.
void WriteFileBelow(const std::filesystem::path& root, const std::vector<std::string>& parts, const std::uint8_t* data,
                    std::uint32_t size, bool replace);

}  // namespace sfx
