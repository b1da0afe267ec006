// msiexec.exe for several patches in one /update: Wine's own msiexec.exe takes the whole list
// "a.msp;b.msp" as one path and fails (1627), although its engine applies such a list through
// MsiApplyMultiplePatchesW. This one hands the same command line to that call: "/qn", "/lv+*"
// <log>, "/update" <list> and the PROPERTY=value pairs. Other command lines fail with
// ERROR_INVALID_COMMAND_LINE. The exit code is the engine's status.

#include <windows.h>
#include <msi.h>
#include <stdlib.h>

#include <string>

namespace
{
struct CUpdateCommand
{
    bool quiet = false;
    std::wstring log;
    std::wstring patches;
    std::wstring properties;
};

bool Parse(int argc, const wchar_t* const* argv, CUpdateCommand& command)
{
    for (int i = 1; i < argc; ++i)
    {
        std::wstring argument = argv[i];
        bool hasValue = i + 1 < argc;
        if (argument == L"/qn")
            command.quiet = true;
        else if (argument == L"/lv+*" && hasValue)
            command.log = argv[++i];
        else if (argument == L"/update" && hasValue)
            command.patches = argv[++i];
        else if (argument.find(L'=') != std::wstring::npos)
            command.properties += (command.properties.empty() ? L"" : L" ") + argument;
        else
            return false;
    }
    return !command.patches.empty();
}
} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    CUpdateCommand command;
    if (!Parse(__argc, __wargv, command))
        return ERROR_INVALID_COMMAND_LINE;
    MsiSetInternalUI(command.quiet ? INSTALLUILEVEL_NONE : INSTALLUILEVEL_FULL, nullptr);
    if (!command.log.empty())
        MsiEnableLogW(INSTALLLOGMODE_VERBOSE | INSTALLLOGMODE_INFO | INSTALLLOGMODE_ERROR,
                      command.log.c_str(), INSTALLLOGATTRIBUTES_APPEND);
    return static_cast<int>(
        MsiApplyMultiplePatchesW(command.patches.c_str(), nullptr, command.properties.c_str()));
}
