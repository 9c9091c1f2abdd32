#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace Quorvane {

// A second reading of project.json by a real JSON parser, next to the key
// search that decides the values. It only warns ("FILE:LINE:COLUMN: ..."), about
// invalid JSON, unknown keys (with the nearest known one), values of the wrong
// type and keys that the search would take from a nested object.
struct ProjectJsonCheck {
    // Keys that stand in a nested object before they stand at the top level:
    // key -> offset of the top-level key in the text. Reading from there takes
    // the top-level value, which is what the file plainly means.
    std::map<std::string, std::size_t> topLevelOffsets;
};

ProjectJsonCheck CheckProjectJson(const std::string& json, const std::string& fileName);

// 1-based line and column (in bytes) of an offset into the text.
std::string DescribePosition(const std::string& fileName, const std::string& text, std::size_t offset);

// The known key nearest to a misspelt one, or "" when none is near.
std::string NearestProjectKey(const std::string& key);

}  // namespace Quorvane
