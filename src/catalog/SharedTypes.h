#pragma once

#include <map>
#include <string>
#include <vector>

// Ordered by plain comparison of UTF-16 code units: case-sensitive, no locale.
using SectionMap = std::map<std::wstring, std::wstring>;

// File-name lists and patch-code lists.
using StringList = std::vector<std::wstring>;
