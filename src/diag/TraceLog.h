#pragma once

#include <string>

// The support trace file ZAPatch.log in the product's trace folder. One per process, never
// destroyed; the file is opened and closed for every entry so that nothing written is lost.
class CTraceLog
{
  public:
    static CTraceLog& Instance();

    // Reads "TraceRoot" and writes the banner. Public so that tests can build their own.
    CTraceLog();

    // Appends one entry; never fails. Format and arguments follow Microsoft printf rules: in a
    // wide format %s is a wide string and %S a narrow one. Composed texts go in as "%s" arguments.
    void Trace(int level, const wchar_t* format, ...);

    std::wstring GetTraceFolder() const { return m_traceFolder; }
    const std::wstring& GetFilePath() const { return m_filePath; }

  private:
    void Append(const std::wstring& text) const;

    std::wstring m_filePath;
    std::wstring m_traceFolder;
};

// The text written for a level: levels are rounded toward zero to hundreds.
std::wstring TraceLevelText(int level);
