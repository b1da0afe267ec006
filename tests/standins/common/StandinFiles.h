#pragma once

// The files that the Windows Installer stand-ins and the tests share. Everything is UTF-8 text
// with one item per line, so that a failing test can show what it found.
//
// Installer state (file named by ZAPATCH_STANDIN_MSI_STATE; absent file = nothing installed):
//   UpgradeCode={...}     the upgrade code of the one installed product
//   ProductCode={...}     its product code
//   Patch={...}           one line per applied patch, in the order of application
//
// Patch file (any name; what the tests put into a patches folder):
//   ZAPATCH STANDIN PATCH   first line; any other first line is "not a patch package"
//   PatchCode={...}         the code that installing the file applies
//   Description=...         optional: the "Description" metadata property
//   XML=...                 the patch's XML description, on one line

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace standin
{
inline constexpr char kPatchMagic[] = "ZAPATCH STANDIN PATCH";

// The variable's value, of any length; empty when it is not set.
inline std::wstring Env(const wchar_t* name)
{
    DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    std::wstring value(needed, L'\0');
    DWORD length = needed ? GetEnvironmentVariableW(name, value.data(), needed) : 0;
    value.resize(length < needed ? length : 0);
    return value;
}

inline std::string ToUtf8(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
    std::string result(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        bytes, nullptr, nullptr);
    return result;
}

inline std::wstring FromUtf8(const std::string& text)
{
    int chars =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        chars);
    return result;
}

// The file's lines without their line ends; nothing when it cannot be opened.
inline std::optional<std::vector<std::wstring>> ReadLines(const std::wstring& path)
{
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file)
        return std::nullopt;
    std::string bytes;
    char chunk[4096];
    for (size_t read; (read = fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.append(chunk, read);
    fclose(file);
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < bytes.size())
    {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(FromUtf8(line));
        start = end + 1;
    }
    return lines;
}

inline bool WriteLines(const std::wstring& path, const std::vector<std::wstring>& lines,
                       bool append = false)
{
    FILE* file = _wfopen(path.c_str(), append ? L"ab" : L"wb");
    if (!file)
        return false;
    for (const std::wstring& line : lines)
    {
        std::string bytes = ToUtf8(line) + "\n";
        fwrite(bytes.data(), 1, bytes.size(), file);
    }
    return fclose(file) == 0;
}

// The value of the first line "name=value", if any.
inline std::optional<std::wstring> Field(const std::vector<std::wstring>& lines,
                                         const std::wstring& name)
{
    for (const std::wstring& line : lines)
        if (line.compare(0, name.size() + 1, name + L"=") == 0)
            return line.substr(name.size() + 1);
    return std::nullopt;
}

struct CInstallerState
{
    std::wstring upgradeCode;
    std::wstring productCode;
    std::vector<std::wstring> patches;
};

inline CInstallerState ReadInstallerState(const std::wstring& path)
{
    CInstallerState state;
    for (const std::wstring& line : ReadLines(path).value_or(std::vector<std::wstring>()))
    {
        if (line.starts_with(L"UpgradeCode="))
            state.upgradeCode = line.substr(12);
        else if (line.starts_with(L"ProductCode="))
            state.productCode = line.substr(12);
        else if (line.starts_with(L"Patch="))
            state.patches.push_back(line.substr(6));
    }
    return state;
}

inline bool WriteInstallerState(const std::wstring& path, const CInstallerState& state)
{
    std::vector<std::wstring> lines{L"UpgradeCode=" + state.upgradeCode,
                                    L"ProductCode=" + state.productCode};
    for (const std::wstring& patch : state.patches)
        lines.push_back(L"Patch=" + patch);
    return WriteLines(path, lines);
}

struct CPatchFile
{
    std::wstring patchCode;
    std::optional<std::wstring> description;
    std::wstring xml;
};

// The XML description a real patch carries, reduced to what matters here.
inline std::wstring PatchXml(const std::wstring& patchCode)
{
    return L"<MsiPatch xmlns=\"http://www.microsoft.com/msi/patch_applicability.xsd\" "
           L"SchemaVersion=\"1.0.0.0\" PatchGUID=\"" +
           patchCode + L"\" MinMsiVersion=\"3\"><TargetProduct MinMsiVersion=\"3\"/></MsiPatch>";
}

inline bool WritePatchFile(const std::wstring& path, const CPatchFile& patch)
{
    std::vector<std::wstring> lines{FromUtf8(kPatchMagic), L"PatchCode=" + patch.patchCode};
    if (patch.description)
        lines.push_back(L"Description=" + *patch.description);
    lines.push_back(L"XML=" + patch.xml);
    return WriteLines(path, lines);
}

// ERROR_SUCCESS, ERROR_OPEN_FAILED (cannot be read) or ERROR_BAD_FORMAT (no stand-in patch).
inline DWORD ReadPatchFile(const std::wstring& path, CPatchFile& patch)
{
    auto lines = ReadLines(path);
    if (!lines)
        return ERROR_OPEN_FAILED;
    if (lines->empty() || (*lines)[0] != FromUtf8(kPatchMagic))
        return ERROR_BAD_FORMAT;
    patch.patchCode = Field(*lines, L"PatchCode").value_or(L"");
    patch.description = Field(*lines, L"Description");
    patch.xml = Field(*lines, L"XML").value_or(L"");
    return ERROR_SUCCESS;
}
} // namespace standin
