#include "support/EventOutput.h"

#include "catalog/FileSystemUtils.h"
#include "catalog/Handles.h"
#include "support/Sandbox.h"
#include "support/WineStartFailure.h"

#include <gtest/gtest.h>

#include <sstream>

namespace
{
constexpr wchar_t kChildSetting[] = L"ZAPATCH_TEST_EVENT_CHILD";

CFileHandle OpenInheritable(const std::wstring& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CFileHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool IsSetting(const std::wstring& entry, const std::wstring& name)
{
    return _wcsnicmp(entry.c_str(), (name + L"=").c_str(), name.size() + 1) == 0;
}

// This process's environment with WINEDEBUG and the given settings replaced, as a block.
std::wstring ChildEnvironment(std::vector<std::wstring> settings)
{
    settings.push_back(L"WINEDEBUG=+eventlog");
    std::wstring block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1)
    {
        bool replaced = false;
        for (const std::wstring& setting : settings)
            replaced = replaced || IsSetting(entry, setting.substr(0, setting.find(L'=')));
        if (!replaced)
            block.append(entry).push_back(L'\0');
    }
    FreeEnvironmentStringsW(strings);
    for (const std::wstring& setting : settings)
        block.append(setting).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

// Undoes Wine's debugstr_w: L"..." with \n \r \t \" \\ and \xxxx escapes, "..." when shortened.
std::wstring DecodeDebugString(const std::string& printed, bool& truncated)
{
    std::wstring text;
    size_t at = printed.find("L\"");
    if (at == std::string::npos)
        return text;
    for (at += 2; at < printed.size() && printed[at] != '"'; ++at)
    {
        if (printed[at] != '\\')
        {
            text.push_back(static_cast<unsigned char>(printed[at]));
            continue;
        }
        char escaped = printed[++at];
        if (escaped == 'n')
            text.push_back(L'\n');
        else if (escaped == 'r')
            text.push_back(L'\r');
        else if (escaped == 't')
            text.push_back(L'\t');
        else if (isxdigit(static_cast<unsigned char>(escaped)))
        {
            text.push_back(static_cast<wchar_t>(std::stoul(printed.substr(at, 4), nullptr, 16)));
            at += 3;
        }
        else
            text.push_back(static_cast<unsigned char>(escaped));
    }
    truncated = printed.compare(at, 4, "\"...") == 0;
    return text;
}

// "(handle,0xTYPE,0xCATEGORY,0xID,sid,0xCOUNT,...)" of the ReportEventW fixme line.
void ParseReportArguments(const std::string& line, CReportedEvent& event)
{
    std::vector<std::string> fields;
    std::stringstream arguments(line.substr(line.find('(') + 1));
    for (std::string field; std::getline(arguments, field, ',');)
        fields.push_back(field);
    if (fields.size() < 6)
        return;
    event.type = static_cast<WORD>(std::stoul(fields[1], nullptr, 16));
    event.id = static_cast<DWORD>(std::stoul(fields[3], nullptr, 16));
    event.stringCount = static_cast<WORD>(std::stoul(fields[5], nullptr, 16));
}

std::string ReadFrom(const std::wstring& path, size_t offset)
{
    std::string bytes = path.empty() ? std::string() : ReadFileBytes(path);
    return offset < bytes.size() ? bytes.substr(offset) : std::string();
}

std::wstring DebugOutputPath()
{
    wchar_t path[MAX_PATH] = {};
    GetEnvironmentVariableW(L"ZAPATCH_WINE_STDERR", path, MAX_PATH);
    return path;
}
} // namespace

CEventRun RunWithEventOutput(const std::wstring& commandLine,
                             const std::vector<std::wstring>& settings,
                             const wchar_t* workingDirectory)
{
    CEventRun run;
    std::wstring debugPath = DebugOutputPath();
    EXPECT_FALSE(debugPath.empty()) << "run the tests through scripts/wine-test";
    size_t debugOffset = ReadFrom(debugPath, 0).size();

    CTempFolder folder;
    CFileHandle input = OpenInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    CFileHandle output = OpenInheritable(folder / L"stdout.txt", GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.Get();
    startup.hStdOutput = output.Get();
    startup.hStdError = output.Get();

    std::wstring environment = ChildEnvironment(settings);
    std::wstring command = commandLine;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                        environment.data(), workingDirectory, &startup, &started))
    {
        run.startError = GetLastError();
        NoteWineStartFailure(run.startError, commandLine);
        return run;
    }
    CKernelHandle thread(started.hThread);
    CKernelHandle process(started.hProcess);
    WaitForSingleObject(process.Get(), INFINITE);
    GetExitCodeProcess(process.Get(), &run.exitCode);
    output.Reset();
    run.standardOutput = ReadFileBytes(folder / L"stdout.txt");
    run.debugOutput = ReadFrom(debugPath, debugOffset);
    return run;
}

std::vector<CReportedEvent> ParseReportedEvents(const std::string& debugOutput)
{
    std::vector<CReportedEvent> events;
    std::wstring source;
    std::stringstream output(debugOutput);
    for (std::string line; std::getline(output, line);)
    {
        bool truncated = false;
        if (line.find(":advapi:RegisterEventSourceW ") != std::string::npos)
            source = DecodeDebugString(line.substr(line.find(',')), truncated);
        else if (line.find(":advapi:ReportEventW ") != std::string::npos)
        {
            events.emplace_back().source = source;
            ParseReportArguments(line, events.back());
        }
        else if (line.find(":eventlog:ReportEventW ") != std::string::npos && !events.empty() &&
                 events.back().text.empty())
            events.back().text = DecodeDebugString(line, events.back().truncated);
    }
    return events;
}

bool IsEventChild()
{
    return GetEnvironmentVariableW(kChildSetting, nullptr, 0) != 0;
}

std::vector<CReportedEvent> RunCurrentTestForEvents()
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    std::wstring commandLine = L"\"" + GetModuleFilePath() + L"\" --gtest_filter=" +
                               std::wstring(filter.begin(), filter.end());
    CEventRun run = RunWithEventOutput(commandLine, {std::wstring(kChildSetting) + L"=1"});
    EXPECT_EQ(ERROR_SUCCESS, run.startError) << "cannot start the child run of " << filter;
    EXPECT_EQ(0u, run.exitCode) << "child run of " << filter << ":\n" << run.standardOutput;
    return ParseReportedEvents(run.debugOutput);
}
