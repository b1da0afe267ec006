#include "shutdown/ShutdownScript.h"

#include "catalog/FileSystemUtils.h"
#include "catalog/Handles.h"
#include "catalog/RegistryUtils.h"
#include "diag/ErrorText.h"
#include "diag/TraceLog.h"
#include "shutdown/RegCompareKeys.h"
#include "shutdown/RegCopyKey.h"
#include "shutdown/ScriptKeyNames.h"
#include "shutdown/Wow64FsRedirectionDisabler.h"

#include <shlwapi.h>

#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

namespace
{
constexpr wchar_t kStateKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group "
                                L"Policy\\State\\Machine\\Scripts\\Shutdown";
// The local Group Policy object's scripts: its subkeys are the script keys.
const std::wstring kPolicyObjectKey = std::wstring(kStateKey) + L"\\0";
constexpr wchar_t kMirrorKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group Policy\\Scripts\\Shutdown";
constexpr wchar_t kMachineFolder[] = L"\\system32\\GroupPolicy\\Machine";

constexpr wchar_t kCreate[] = L"CShutdownScript::Create";
constexpr wchar_t kDelete[] = L"CShutdownScript::Delete";
constexpr wchar_t kCreateShutdownScript[] = L"CShutdownScript::CreateShutdownScript";
constexpr wchar_t kSynchronize[] = L"CShutdownScript::SynchronizePoliciesKeys";
constexpr wchar_t kGetScriptsIniPath[] = L"CShutdownScript::GetScriptsIniPath";
constexpr wchar_t kUpdateScriptIni[] = L"CShutdownScript::UpdateScriptIni";

// The rights Delete needs on the policy object key. Creating the renumbered script keys needs
// KEY_CREATE_SUB_KEY as well, which Windows checks on the parent handle.
constexpr REGSAM kDeleteAccess =
    DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_CREATE_SUB_KEY;

// Operation names are ASCII, so the wide name converts unit by unit.
[[noreturn]] void Fail(const wchar_t* operation, DWORD status)
{
    std::wstring wide(operation);
    throw std::logic_error(ErrorTextA(std::string(wide.begin(), wide.end()).c_str(), status));
}

void Check(DWORD status, const wchar_t* operation)
{
    if (status != ERROR_SUCCESS)
        Fail(operation, status);
}

// Group Policy keeps scripts.ini in UTF-16LE with a byte order mark, and the profile functions
// keep the encoding of the file they find, but make a new file ANSI: so the file is made first.
// An existing file, of whatever encoding, stays as it is.
DWORD CreateUnicodeIniUnlessPresent(const std::wstring& path)
{
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
    {
        DWORD status = GetLastError();
        return status == ERROR_FILE_EXISTS ? ERROR_SUCCESS : status;
    }
    const unsigned char byteOrderMark[] = {0xFF, 0xFE};
    DWORD written = 0;
    return WriteFile(file.Get(), byteOrderMark, sizeof byteOrderMark, &written, nullptr)
               ? ERROR_SUCCESS
               : GetLastError();
}

// A value of the script key, up to its first NUL.
DWORD ReadScriptValue(HKEY key, const std::wstring& name, const wchar_t* valueName,
                      std::wstring& value)
{
    std::vector<wchar_t> buffer;
    DWORD status = RegQuerySubKeyStrValue(key, name, valueName, buffer);
    value = status == ERROR_SUCCESS ? buffer.data() : L"";
    return status;
}

// A string value with its terminator.
DWORD SetStringValue(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Copies a script key into a key of the new name that did not exist before; a failed copy is
// removed again, and an existing key is never written to.
DWORD CopyToNewKey(HKEY key, const std::wstring& oldName, const std::wstring& newName)
{
    CRegKeyHandle newKey;
    DWORD disposition = 0;
    DWORD status = RegCreateKeyExW(key, newName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                   newKey.Put(), &disposition);
    if (status != ERROR_SUCCESS)
        return status;
    if (disposition == REG_OPENED_EXISTING_KEY)
        return ERROR_ALREADY_EXISTS;
    status = zapatch::RegCopyKeyW(key, oldName.c_str(), newKey.Get());
    newKey.Reset();
    if (status != ERROR_SUCCESS)
        SHDeleteKeyW(key, newName.c_str());
    return status;
}

// Moves a script key, by the name it was enumerated with, to the name of the lower number
// target. A key that cannot be moved stays as it was, so that the other keys and the files can
// still be brought in line.
void MoveScriptKeyDown(HKEY key, const std::wstring& oldName, int number, int target)
{
    CTraceLog& log = CTraceLog::Instance();
    std::wstring newName = KeyName(target);
    log.Trace(500, L"%s: rename key %d to %s", kDelete, number, newName.c_str());
    DWORD status = CopyToNewKey(key, oldName, newName);
    if (status == ERROR_SUCCESS)
    {
        status = SHDeleteKeyW(key, oldName.c_str());
        if (status != ERROR_SUCCESS)
            SHDeleteKeyW(key, newName.c_str());
    }
    if (status != ERROR_SUCCESS)
        log.Trace(300, L"%s (key %s stays as it was)", ErrorTextW(kDelete, status).c_str(),
                  oldName.c_str());
}

// Deletes a script key by the name it was enumerated with: a key named with leading zeros must
// not take another one with it.
void DeleteScriptKey(HKEY key, std::multimap<int, std::wstring>& keys,
                     std::multimap<int, std::wstring>::iterator script)
{
    Check(SHDeleteKeyW(key, script->second.c_str()), kDelete);
    keys.erase(script);
}

// A copy cut short lies below the key it copies, whole or not, and so does the empty key of a
// registration cut short: each such key goes (the key it copies is moved again).
void DropKeysLeftBehind(HKEY key, std::multimap<int, std::wstring>& keys)
{
    for (auto script = keys.begin(); script != keys.end();)
    {
        auto next = std::next(script);
        bool within = false;
        DWORD status = RegKeyWithin(key, script->second.c_str(),
                                    next == keys.end() ? nullptr : next->second.c_str(), within);
        if (status == ERROR_SUCCESS && within)
        {
            CTraceLog::Instance().Trace(350, L"%s: delete subkey %s, left by a change cut short",
                                        kDelete, script->second.c_str());
            DeleteScriptKey(key, keys, script);
        }
        script = next;
    }
}

DWORD SubKeyCount(HKEY key, DWORD& count)
{
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr);
}

// The value of an environment variable from the process environment block, which also holds
// what this process set itself; an unset variable is an empty text.
DWORD ReadEnvironmentVariable(const wchar_t* name, std::wstring& value)
{
    value.clear();
    std::vector<wchar_t> buffer(1, L'\0');
    for (;;)
    {
        SetLastError(ERROR_SUCCESS);
        DWORD chars =
            GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (chars == 0)
        {
            DWORD status = GetLastError();
            return status == ERROR_ENVVAR_NOT_FOUND ? ERROR_SUCCESS : status;
        }
        if (chars < buffer.size())
        {
            value.assign(buffer.data(), chars);
            return ERROR_SUCCESS;
        }
        buffer.assign(chars, L'\0');
    }
}
} // namespace

void CShutdownScript::Create(const wchar_t* parameters)
{
    std::wstring copied(parameters ? parameters : L"");
    CTraceLog& log = CTraceLog::Instance();
    try
    {
        Delete();
    }
    catch (const std::exception& error)
    {
        log.Trace(350, L"%S", error.what());
    }

    CRegKeyHandle key;
    Check(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPolicyObjectKey.c_str(), 0, nullptr, 0,
                          KEY_READ | KEY_WRITE, nullptr, key.Put(), nullptr),
          kCreate);
    DWORD bytes = 0;
    if (RegQueryValueExW(key.Get(), L"FileSysPath", nullptr, nullptr, nullptr, &bytes) !=
        ERROR_SUCCESS)
    {
        // Group Policy stores this value without its terminating zero.
        std::wstring folder = GetScriptsIniPath();
        Check(RegSetValueExact(key.Get(), L"FileSysPath", REG_SZ,
                               reinterpret_cast<const BYTE*>(folder.c_str()),
                               static_cast<DWORD>(folder.size() * sizeof(wchar_t))),
              kCreate);
    }

    log.Trace(500, L"%s: Find first free key number", kCreate);
    int number = FindFreeKeyNumber(key.Get());
    log.Trace(500, L"%s: Create shutdown script key", kCreate);
    CreateShutdownScript(key.Get(), number, copied);
    log.Trace(500, L"%s: Synchronize policies keys", kCreate);
    SynchronizePoliciesKeys();
    UpdateScriptIni(key.Get());
}

void CShutdownScript::Delete()
{
    CTraceLog& log = CTraceLog::Instance();
    // Every change of the keys ends by rebuilding the mirror: a mirror unlike the state keys
    // tells that a change was cut short, and what it left is put right here.
    bool same = false;
    bool cutShort =
        RegCompareKeys(HKEY_LOCAL_MACHINE, kStateKey, kMirrorKey, same) != ERROR_SUCCESS || !same;
    CRegKeyHandle key;
    DWORD status =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPolicyObjectKey.c_str(), 0, kDeleteAccess, key.Put());
    if (status != ERROR_SUCCESS)
    {
        log.Trace(500, L"%s", ErrorTextW(kDelete, status).c_str());
        if (cutShort)
            SynchronizePoliciesKeys();
        return;
    }

    ScriptKeys keys;
    std::optional<ScriptKeys::iterator> ours;
    for (DWORD index = 0; status == ERROR_SUCCESS; ++index)
    {
        std::wstring name;
        status = EnumSubKeyName(key.Get(), index, name);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        auto added = keys.emplace(KeyNumber(name), name);
        std::wstring script;
        if (ReadScriptValue(key.Get(), name, L"Script", script) != ERROR_SUCCESS)
            log.Trace(300, L"%s: cann't read subkey %s value %s", kDelete, name.c_str(), L"Script");
        else if (CompareStringOrdinal(script.c_str(), -1, m_scriptPath.c_str(), -1, TRUE) ==
                 CSTR_EQUAL)
            ours = added;
        else
            log.Trace(300, L"%s: skip remove of '%s'", kDelete, script.c_str());
    }

    int removed = -1;
    if (ours)
    {
        removed = (*ours)->first;
        log.Trace(500, L"%s: delete subkey %d with our shutdown script", kDelete, removed);
        DeleteScriptKey(key.Get(), keys, *ours);
    }
    if (ours || cutShort)
        RenumberScriptKeys(key.Get(), keys, removed, cutShort);
    key.Reset();
    SynchronizePoliciesKeys();
}

// Closes the gap our removed key left and, after a change cut short, drops what it left behind
// and closes every gap; brings scripts.ini in line; the policy object key goes when no script
// key is left.
void CShutdownScript::RenumberScriptKeys(HKEY key, ScriptKeys& keys, int removed, bool cutShort)
{
    CTraceLog& log = CTraceLog::Instance();
    if (cutShort)
        DropKeysLeftBehind(key, keys);

    log.Trace(500, L"%s: shift all next keys", kDelete);
    // One down past our removed key; after a change cut short, down to the count of numbers
    // taken below, which leaves no gap.
    std::set<int> taken;
    for (const auto& [number, name] : keys)
        taken.insert(number);
    for (const auto& [number, name] : keys)
    {
        int target = cutShort
                         ? static_cast<int>(std::distance(taken.begin(), taken.lower_bound(number)))
                         : (number > removed ? number - 1 : number);
        if (target != number)
            MoveScriptKeyDown(key, name, number, target);
    }

    DWORD subKeys = 0;
    Check(SubKeyCount(key, subKeys), kDelete);
    UpdateScriptIni(key);
    if (subKeys == 0)
    {
        log.Trace(500, L"%s: no more script keys", kDelete);
        Check(SHDeleteKeyW(HKEY_LOCAL_MACHINE, kPolicyObjectKey.c_str()), kDelete);
    }
}

void CShutdownScript::CreateShutdownScript(HKEY key, int number,
                                           const std::wstring& parameters) const
{
    CRegKeyHandle script;
    DWORD status = RegCreateKeyExW(key, KeyName(number).c_str(), 0, nullptr, 0,
                                   KEY_READ | KEY_WRITE, nullptr, script.Put(), nullptr);
    // The script first: a key cut short before its other values is still seen as ours.
    if (status == ERROR_SUCCESS)
        status = SetStringValue(script.Get(), L"Script", m_scriptPath);
    if (status == ERROR_SUCCESS)
        status = SetStringValue(script.Get(), L"Parameters", parameters);
    if (status == ERROR_SUCCESS)
    {
        DWORD isPowershell = 0;
        status = RegSetValueExW(script.Get(), L"IsPowershell", 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&isPowershell), sizeof(isPowershell));
    }
    script.Reset();
    Check(status, kCreateShutdownScript);
}

int CShutdownScript::FindFreeKeyNumber(HKEY key) const
{
    int number = 0;
    Check(FindFreeScriptKeyNumber(key, number), kCreate);
    return number;
}

void CShutdownScript::SynchronizePoliciesKeys()
{
    // The mirror may be missing; whatever is left of it is rebuilt below.
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kMirrorKey);
    CRegKeyHandle mirror;
    Check(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMirrorKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          mirror.Put(), nullptr),
          kSynchronize);
    DWORD status = zapatch::RegCopyKeyW(HKEY_LOCAL_MACHINE, kStateKey, mirror.Get());
    mirror.Reset();
    // Without a state key there is nothing to mirror (a removal rebuilds the mirror whenever it
    // differs).
    if (status == ERROR_FILE_NOT_FOUND)
        status = SHDeleteKeyW(HKEY_LOCAL_MACHINE, kMirrorKey);
    Check(status, kSynchronize);
}

std::wstring CShutdownScript::GetScriptsIniPath()
{
    std::wstring windir;
    Check(ReadEnvironmentVariable(L"windir", windir), kGetScriptsIniPath);
    return windir + kMachineFolder;
}

void CShutdownScript::UpdateScriptIni(HKEY key)
{
    CWow64FsRedirectionDisabler redirectionOff;
    std::wstring section;
    DWORD status = ERROR_SUCCESS;
    for (DWORD index = 0; status == ERROR_SUCCESS; ++index)
    {
        std::wstring name;
        status = EnumSubKeyName(key, index, name);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        CTraceLog::Instance().Trace(500, L"%s: current subkey = %s", kUpdateScriptIni,
                                    name.c_str());
        // Group Policy runs the scripts from 0 up to the first gap; the file lists no more.
        if (KeyNumber(name) != static_cast<int>(index))
            break;
        std::wstring script, parameters;
        ReadScriptValue(key, name, L"Script", script);
        ReadScriptValue(key, name, L"Parameters", parameters);
        section += name + L"CmdLine=" + script + L'\0';
        section += name + L"Parameters=" + parameters + L'\0';
    }
    section += L'\0';

    std::wstring folder = GetScriptsIniPath() + L"\\Scripts";
    CreateDirRecurs(folder.c_str()); // a failure shows in the write below
    std::wstring file = folder + L"\\scripts.ini";
    CTraceLog::Instance().Trace(500, L"%s: write section Shutdown to %s", kUpdateScriptIni,
                                file.c_str());
    // A missing file whose copy was left is that copy, not a new empty file.
    status = RecoverInterruptedReplace(file);
    if (status == ERROR_SUCCESS)
        status = CreateUnicodeIniUnlessPresent(file);
    if (status == ERROR_SUCCESS)
        status = ReplaceIniSection(file, L"Shutdown", section.c_str());
    Check(status, kUpdateScriptIni);
}
