#include "support/Sandbox.h"

#include "standins/common/StandinFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace
{
std::wstring UniqueName(const wchar_t* stem)
{
    static unsigned counter = 0;
    return std::wstring(stem) + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
}

CRegKeyHandle CreateKey(HKEY root, const std::wstring& subKey)
{
    CRegKeyHandle key;
    LSTATUS status = RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     key.Put(), nullptr);
    if (status != ERROR_SUCCESS)
        ADD_FAILURE() << "cannot create registry key, status " << status;
    return key;
}

// A test that works in the folder leaves it the process's current directory, which cannot be
// removed: the folder would stay behind, empty.
void LeaveIfCurrent(const std::wstring& folder)
{
    wchar_t current[MAX_PATH] = {};
    if (GetCurrentDirectoryW(MAX_PATH, current) >= MAX_PATH)
        return;
    std::wstring inside = folder + L"\\";
    if (_wcsnicmp((std::wstring(current) + L"\\").c_str(), inside.c_str(), inside.size()) == 0)
        SetCurrentDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str());
}
} // namespace

CRegistrySandbox::CRegistrySandbox()
    : m_path(L"Software\\ZAPatchTests\\" + UniqueName(L"hklm-")),
      m_root(CreateKey(HKEY_CURRENT_USER, m_path))
{
    if (RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_root.Get()) != ERROR_SUCCESS)
        ADD_FAILURE() << "cannot sandbox HKEY_LOCAL_MACHINE";
}

CRegistrySandbox::~CRegistrySandbox()
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    m_root.Reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
}

void CRegistrySandbox::SetRaw(const std::wstring& subKey, const std::wstring& name, DWORD type,
                              const void* data, DWORD bytes)
{
    CRegKeyHandle key = CreateKey(HKEY_LOCAL_MACHINE, subKey);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.Get(), name.empty() ? nullptr : name.c_str(), 0,
                                            type, static_cast<const BYTE*>(data), bytes));
}

void CRegistrySandbox::SetString(const std::wstring& subKey, const std::wstring& name,
                                 const std::wstring& value, DWORD type)
{
    SetRaw(subKey, name, type, value.c_str(),
           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void CRegistrySandbox::SetDword(const std::wstring& subKey, const std::wstring& name, DWORD value)
{
    SetRaw(subKey, name, REG_DWORD, &value, sizeof(value));
}

CTempFolder::CTempFolder()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_path = std::wstring(temp) + UniqueName(L"zapatch-");
    if (!CreateDirectoryW(m_path.c_str(), nullptr))
        ADD_FAILURE() << "cannot create temporary folder, error " << GetLastError();
}

CTempFolder::~CTempFolder()
{
    LeaveIfCurrent(m_path);
    RemoveTree(m_path);
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    CFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &found));
    if (find)
    {
        do
        {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
            {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find.Get(), &found));
    }
    find.Reset();
    RemoveDirectoryW(path.c_str());
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string ReadIniText(const std::wstring& path)
{
    std::string bytes = ReadFileBytes(path);
    if (!bytes.starts_with("\xFF\xFE"))
        return bytes;
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(wchar_t));
    return standin::ToUtf8(text);
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
