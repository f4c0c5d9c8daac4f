// EmptyFolder: deletes everything inside a folder and keeps the folder.
#pragma once

namespace sfx {

// Deletes the files and sub-folders (with their contents) inside `path`,
// which may or may not end in a backslash. True when every deletion
// succeeded, when there was nothing to delete and when the folder does not
// exist; false when a deletion or a path allocation failed. A failed entry
// does not stop the walk. Attributes are never changed, so read-only files
// stay. Junctions and symbolic links are removed as links: the walk never
// descends into them, so their targets are left alone.
bool EmptyFolder(const char* path);

}  // namespace sfx
