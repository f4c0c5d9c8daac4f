// How the extractor creates its folders and files on the host, in one
// source file per platform (image_extractor_files_posix.cpp and
// image_extractor_files_win32.cpp): nothing below the target folder is
// entered or written through a link.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sfx {

// Writes `size` bytes of `data` to the file named by `parts` (host names in
// UTF-8: the folders, then the file) below the folder `root`. Missing
// folders are created. Throws PackError, naming the path, when a folder on
// the way is a link or not a folder, or when the file exists as a link, as
// anything but a plain file, or as a plain file with more than one hard
// link; a plain file with a single link is replaced. Nothing is written
// outside `root`.
void WriteFileBelow(const std::filesystem::path& root, const std::vector<std::string>& parts, const std::uint8_t* data,
                    std::uint32_t size);

}  // namespace sfx
