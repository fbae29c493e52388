// The two parts of a file's path that the files module's writers and cleaners work with:
// the folder it is named in and its own name.
#pragma once
#include <string>

namespace platform {

// The folder `path` is named in: "." for a bare name, "/" for a name at the root.
std::string folderOf(const std::string& path);

// The last component of `path`, trailing slashes aside.
std::string lastComponentOf(const std::string& path);

}  // namespace platform
