#pragma once

#include "catalog/Handles.h"

#include <windows.h>

#include <string>
#include <vector>

// Points HKEY_LOCAL_MACHINE of this process at a fresh, empty key for the life of the object.
class CRegistrySandbox
{
  public:
    CRegistrySandbox();
    ~CRegistrySandbox();
    CRegistrySandbox(const CRegistrySandbox&) = delete;
    CRegistrySandbox& operator=(const CRegistrySandbox&) = delete;

    // Writes a value under HKEY_LOCAL_MACHINE\subKey, creating the key; type REG_SZ unless told.
    static void SetString(const std::wstring& subKey, const std::wstring& name,
                          const std::wstring& value, DWORD type = REG_SZ);
    static void SetRaw(const std::wstring& subKey, const std::wstring& name, DWORD type,
                       const void* data, DWORD bytes);
    static void SetDword(const std::wstring& subKey, const std::wstring& name, DWORD value);

  private:
    std::wstring m_path;
    CRegKeyHandle m_root;
};

// A fresh folder under the temporary folder, removed with all it holds at the end.
class CTempFolder
{
  public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    // The folder without a trailing backslash.
    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

  private:
    std::wstring m_path;
};

std::string ReadFileBytes(const std::wstring& path);
// The text of an initialization file in UTF-8: a UTF-16LE file with its byte order mark is
// converted, any other file comes back byte for byte.
std::string ReadIniText(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
void RemoveTree(const std::wstring& path);
