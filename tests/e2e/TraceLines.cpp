#include "e2e/TraceLines.h"

namespace
{
constexpr char kLineBreak[] = "\r\n";

// "HH:MM:SS.mmm\tTID\tLVL\tpatch\tmessage"
bool ParseEntry(const std::string& line, CTraceLine& entry)
{
    std::vector<size_t> tabs;
    for (size_t at = line.find('\t'); at != std::string::npos && tabs.size() < 4;
         at = line.find('\t', at + 1))
        tabs.push_back(at);
    if (tabs.size() < 4)
        return false;
    entry.thread = std::stoul(line.substr(tabs[0] + 1, tabs[1] - tabs[0] - 1), nullptr, 16);
    entry.level = line.substr(tabs[1] + 1, tabs[2] - tabs[1] - 1);
    entry.text = line.substr(tabs[3] + 1);
    return true;
}
} // namespace

std::vector<CTraceLine> TraceLines(const std::string& trace)
{
    std::vector<CTraceLine> lines;
    size_t start = 0;
    while (start <= trace.size())
    {
        size_t end = trace.find(kLineBreak, start);
        std::string line = trace.substr(start, end == std::string::npos ? end : end - start);
        CTraceLine entry;
        if (ParseEntry(line, entry))
            lines.push_back(entry);
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> TraceTexts(const std::string& trace, const std::string& level)
{
    std::vector<std::string> texts;
    for (const CTraceLine& line : TraceLines(trace))
        if (line.level == level)
            texts.push_back(line.text);
    return texts;
}

int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}
