// A path inside an archive as a user types it on the command line (any
// case, '/' or '\'), found in the loaded tree: the entries it names from
// the root, as the archive spells them.
#ifndef BIGFILE_ARCHIVE_PATH_H
#define BIGFILE_ARCHIVE_PATH_H

#include <string>
#include <vector>

#include <orvobf/ORVOBF.H>

namespace orvobf::tool {

struct ArchivePath {
    std::string typed;                    // as given
    std::vector<const DirEntry*> entries; // from the root; empty for the root itself
    DirNode* parent = nullptr;            // the directory holding the last entry
    bool found = false;
    bool safe = true;  // false: a component extraction would refuse (nothing looked up after it)

    // The directory the path names, or null when it names a file.
    DirNode* Folder() const;
    // The path with the archive's own spelling of each name, joined by '/'.
    std::string Spelled() const;
};

// An empty path (or one of separators only) is the root. The archive's
// current directory is left where the last lookup put it.
ArchivePath Locate(BigFile& bf, const std::string& path);

}  // namespace orvobf::tool

#endif
