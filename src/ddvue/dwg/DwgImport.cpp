#include "ddvue/dwg/DwgImport.h"

#include <algorithm>
#include <cctype>

namespace ddvue::dwg {

bool looksLikeDwg(const std::string& head)
{
    return head.size() >= 6 && head.compare(0, 4, "AC10") == 0 &&
           std::all_of(head.begin() + 4, head.begin() + 6, [](char c) { return c >= '0' && c <= '9'; });
}

bool looksLikeDwgPath(const std::string& path)
{
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".dwg";
}

ImportResult importDwg(const std::string&)
{
    ImportResult r;
    r.error = "Reading DWG drawings is not available in this build.";
    return r;
}

}  // namespace ddvue::dwg
