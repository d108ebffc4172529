#pragma once
// Writes a file so that it is either wholly replaced or left as it was: the
// bytes go to a new file beside it, which is renamed over the old one only
// after every byte has reached the disk.

#include <string>
#include <string_view>

namespace ddvue {

// True when `bytes` now stand at `path`; false with `error` set otherwise, in
// which case the file at `path` is untouched and no temporary file remains.
bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace ddvue
