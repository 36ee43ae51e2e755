#pragma once
// DOS file-name rules: case-insensitive comparison, wildcard matching and 8.3 aliases.

#include <string>
#include <vector>

namespace vellomar::platform {

// ASCII-only upper-casing, as the FAT file systems of Windows 9x compare names.
std::string UpperAscii(const std::string& text);
bool SameDosName(const std::string& a, const std::string& b);

// Wildcard match of a file name against a pattern, case-insensitively. `*` matches any run of
// characters and `?` any one character. DOS rules on top: "*.*" matches every name, a pattern
// ending in ".*" also matches the name without an extension ("readme.*" matches "README"), and a
// pattern ending in "." matches names that have no extension.
bool MatchesDosPattern(const std::string& name, const std::string& pattern);
bool HasWildcards(const std::string& text);

// True when `name` is already a valid 8.3 name (its alias is the name upper-cased).
bool IsShortName(const std::string& name);

// The 8.3 alias of `name` among the names of one folder (`siblings`, including `name`).
// Names already 8.3 keep their upper-cased selves. Other names get BASE~N.EXT the Windows 9x
// way: upper-cased, spaces and characters invalid in 8.3 names dropped, leading dots removed, the
// base cut to 6 characters (fewer as N grows) and the extension to 3. N counts from 1 against
// every alias already in the folder; the long names are numbered in byte order of their host
// names, so the alias of a name stays the same as long as the folder's contents do.
std::string ShortNameIn(const std::string& name, std::vector<std::string> siblings);

}  // namespace vellomar::platform
