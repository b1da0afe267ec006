#pragma once

#include <string>
#include <vector>

// One entry of ZAPatch.log: the writing thread, its level text (ERR covers levels 300 to 399)
// and its message.
struct CTraceLine
{
    unsigned long thread = 0;
    std::string level;
    std::string text;
};

// The entries of a piece of the trace file, in order, without the banner.
std::vector<CTraceLine> TraceLines(const std::string& trace);

// The messages of the entries at one level text.
std::vector<std::string> TraceTexts(const std::string& trace, const std::string& level);

// How often the part occurs in the text.
int CountOf(const std::string& text, const std::string& part);
