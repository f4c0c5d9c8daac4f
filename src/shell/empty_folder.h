// EmptyFolder: deletes everything inside a folder and keeps the folder.
#pragma once

#include <cstddef>

namespace sfx {

// Size of the buffer that receives the path of the first leftover, in
// UTF-16 units, terminator included.
inline constexpr std::size_t kLeftoverPathSize = 512;

// Deletes the files and sub-folders (with their contents) inside `path`,
// which may or may not end in a backslash. True when every deletion
// succeeded, when there was nothing to delete and when the folder does not
// exist; false when a deletion or a path allocation failed. A failed entry
// does not stop the walk. Read-only attributes of the folder and of its
// entries are cleared first, so read-only files go too. Junctions and symbolic links are removed as links: the walk never
// descends into them, so their targets are left alone. When `leftover` is
// given (kLeftoverPathSize units, an empty string on entry), it receives the full path of the first
// entry that could not be deleted (cut to fit), or of the folder whose walk
// ran out of memory; it is left alone when everything went.
bool EmptyFolder(const wchar_t* path, wchar_t* leftover = nullptr);

}  // namespace sfx
