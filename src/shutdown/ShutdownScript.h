#pragma once

#include <windows.h>

#include <map>
#include <string>

// Registers the program as a machine shutdown script of the local Group Policy, and removes it
// again. Three places must agree after every change: the Group Policy state keys, their mirror
// key and the section "Shutdown" of scripts.ini. Failures throw std::logic_error.
class CShutdownScript
{
  public:
    explicit CShutdownScript(const std::wstring& scriptPath) : m_scriptPath(scriptPath) {}

    // Replaces any earlier registration of the script by one with these parameters.
    void Create(const wchar_t* parameters);
    // Removes the script's registration and renumbers the scripts after it; nothing registered
    // is not an error.
    void Delete();

  private:
    // Every script key by its number; keys of the same number in the order enumerated.
    using ScriptKeys = std::multimap<int, std::wstring>;

    void CreateShutdownScript(HKEY key, int number, const std::wstring& parameters) const;
    int FindFreeKeyNumber(HKEY key) const;
    static void RenumberScriptKeys(HKEY key, ScriptKeys& keys, int removed, bool cutShort);
    static void SynchronizePoliciesKeys();
    static std::wstring GetScriptsIniPath();
    static void UpdateScriptIni(HKEY key);

    std::wstring m_scriptPath;
};
