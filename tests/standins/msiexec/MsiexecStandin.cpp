// msiexec.exe stand-in for the tests. The program finds it before the system's because the search
// for a program looks first in the folder of the starting executable.
//
// It understands the two requests the patch manager makes:
//   /update "a.msp;b.msp"                       applies the patch files (names relative to the
//                                               working directory) to the installed product
//   /package <product> /uninstall <c1;c2>       removes the applied patches with those codes
// and "/lv+* <log>", which appends one line to <log>. Other switches and properties are ignored.
//
// Environment variables:
//   ZAPATCH_STANDIN_MSIEXEC_CMDLINE  file that gets one line per run: the exact command line
//   ZAPATCH_STANDIN_MSIEXEC_CWD      file that gets one line per run: the working directory
//   ZAPATCH_STANDIN_MSIEXEC_EXIT     the exit code to end with (decimal, default 0). With 0, 1641
//                                    or 3010 the request is carried out; with any other code
//                                    (1603, 1618 ...) nothing changes.
//   ZAPATCH_STANDIN_MSIEXEC_BUSY     file that holds a number N: while N is above 0, a run ends
//                                    with 1618 (another installation in progress), changes
//                                    nothing and writes N - 1 back, so the first N runs are busy
//   ZAPATCH_STANDIN_MSI_STATE        the installer state shared with the msi.dll stand-in
//   ZAPATCH_STANDIN_MSI_JOURNAL      gets "msiexec.exe <command line> -> <exit code>" per run
//
// A request that cannot be carried out ends with the installer's code for it, the state left as
// it was: 1639 no request, 1635 or 1636 a patch file that cannot be read or is none, 1605 another
// product, 1642 no product installed, 1647 a code to remove that is not applied.

#include "StandinFiles.h"

#include <shellapi.h>

#include <algorithm>

namespace
{
constexpr DWORD kUnknownPatch = 1647;

struct CRequest
{
    std::wstring log;
    std::optional<std::wstring> update;
    std::optional<std::wstring> product;
    std::optional<std::wstring> uninstall;
};

std::vector<std::wstring> Split(const std::wstring& text)
{
    std::vector<std::wstring> pieces;
    for (size_t start = 0; start <= text.size();)
    {
        size_t end = std::min(text.find(L';', start), text.size());
        if (end > start)
            pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

CRequest ParseRequest(const wchar_t* commandLine)
{
    CRequest request;
    int count = 0;
    LPWSTR* tokens = CommandLineToArgvW(commandLine, &count);
    auto valueAfter = [&](int& i) -> std::optional<std::wstring> {
        if (i + 1 < count && tokens[i + 1][0] != L'/')
            return tokens[++i];
        return std::wstring();
    };
    for (int i = 1; tokens && i < count; ++i)
    {
        std::wstring token = tokens[i];
        CharLowerW(token.data());
        if (token == L"/lv+*")
            request.log = valueAfter(i).value_or(L"");
        else if (token == L"/update")
            request.update = valueAfter(i);
        else if (token == L"/package")
            request.product = valueAfter(i);
        else if (token == L"/uninstall")
            request.uninstall = valueAfter(i);
    }
    LocalFree(tokens);
    return request;
}

DWORD Apply(const std::wstring& fileList, standin::CInstallerState& state)
{
    if (state.productCode.empty())
        return ERROR_PATCH_TARGET_NOT_FOUND;
    for (const std::wstring& name : Split(fileList))
    {
        standin::CPatchFile patch;
        DWORD status = standin::ReadPatchFile(name, patch);
        if (status == ERROR_BAD_FORMAT)
            return ERROR_PATCH_PACKAGE_INVALID;
        if (status != ERROR_SUCCESS)
            return ERROR_PATCH_PACKAGE_OPEN_FAILED;
        auto& applied = state.patches;
        if (std::find(applied.begin(), applied.end(), patch.patchCode) == applied.end())
            applied.push_back(patch.patchCode);
    }
    return ERROR_SUCCESS;
}

DWORD Remove(const std::wstring& product, const std::wstring& codes,
             standin::CInstallerState& state)
{
    if (state.productCode.empty() || product != state.productCode)
        return ERROR_UNKNOWN_PRODUCT;
    for (const std::wstring& code : Split(codes))
    {
        auto found = std::find(state.patches.begin(), state.patches.end(), code);
        if (found == state.patches.end())
            return kUnknownPatch;
        state.patches.erase(found);
    }
    return ERROR_SUCCESS;
}

DWORD Carry(const CRequest& request)
{
    std::wstring statePath = standin::Env(L"ZAPATCH_STANDIN_MSI_STATE");
    standin::CInstallerState state = standin::ReadInstallerState(statePath);
    DWORD status = ERROR_INVALID_COMMAND_LINE;
    if (request.update)
        status = Apply(*request.update, state);
    else if (request.product && request.uninstall)
        status = Remove(*request.product, *request.uninstall, state);
    if (status == ERROR_SUCCESS && !standin::WriteInstallerState(statePath, state))
        status = ERROR_INSTALL_FAILURE;
    return status;
}

bool IsSuccess(DWORD code)
{
    return code == ERROR_SUCCESS || code == ERROR_SUCCESS_REBOOT_INITIATED ||
           code == ERROR_SUCCESS_REBOOT_REQUIRED;
}

// Counts down the busy runs the test asked for; true while one is left.
bool IsBusy()
{
    std::wstring path = standin::Env(L"ZAPATCH_STANDIN_MSIEXEC_BUSY");
    auto lines = path.empty() ? std::nullopt : standin::ReadLines(path);
    if (!lines || lines->empty())
        return false;
    unsigned long left = wcstoul((*lines)[0].c_str(), nullptr, 10);
    if (left == 0)
        return false;
    standin::WriteLines(path, {std::to_wstring(left - 1)});
    return true;
}

void Record(const wchar_t* variable, const std::wstring& line)
{
    std::wstring path = standin::Env(variable);
    if (!path.empty())
        standin::WriteLines(path, {line}, true);
}
} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    std::wstring commandLine = GetCommandLineW();
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    Record(L"ZAPATCH_STANDIN_MSIEXEC_CMDLINE", commandLine);
    Record(L"ZAPATCH_STANDIN_MSIEXEC_CWD", folder);

    CRequest request = ParseRequest(commandLine.c_str());
    std::wstring chosen = standin::Env(L"ZAPATCH_STANDIN_MSIEXEC_EXIT");
    DWORD exitCode = wcstoul(chosen.c_str(), nullptr, 10);
    // Windows Installer ends at once when it cannot open the log it was asked for.
    if (!request.log.empty() && !standin::WriteLines(request.log, {}, true))
        exitCode = ERROR_INSTALL_LOG_FAILURE;
    else if (IsBusy())
        exitCode = ERROR_INSTALL_ALREADY_RUNNING;
    else if (IsSuccess(exitCode))
    {
        DWORD status = Carry(request);
        exitCode = status == ERROR_SUCCESS ? exitCode : status;
    }

    std::wstring outcome = commandLine + L" -> " + std::to_wstring(exitCode);
    if (!request.log.empty())
        standin::WriteLines(request.log, {L"msiexec stand-in: " + outcome}, true);
    Record(L"ZAPATCH_STANDIN_MSI_JOURNAL", L"msiexec.exe " + outcome);
    return static_cast<int>(exitCode);
}
