#include "diag/ErrorText.h"

#include "catalog/Handles.h"

namespace
{
// Allocate buffer, from system, ignore inserts, line width 255.
constexpr DWORD kFormatFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
constexpr DWORD kUserDefaultLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

template <typename Char> std::basic_string<Char> SystemText(DWORD code);

template <> std::wstring SystemText<wchar_t>(DWORD code)
{
    CLocalMemory<wchar_t> text;
    DWORD length = FormatMessageW(kFormatFlags, nullptr, code, kUserDefaultLanguage,
                                  reinterpret_cast<LPWSTR>(text.Put()), 0, nullptr);
    return length && text ? std::wstring(text.Get(), length) : L"Unknown error.";
}

template <> std::string SystemText<char>(DWORD code)
{
    CLocalMemory<char> text;
    DWORD length = FormatMessageA(kFormatFlags, nullptr, code, kUserDefaultLanguage,
                                  reinterpret_cast<LPSTR>(text.Put()), 0, nullptr);
    return length && text ? std::string(text.Get(), length) : "Unknown error.";
}
} // namespace

std::wstring ErrorTextW(const wchar_t* prefix, DWORD code)
{
    return std::wstring(prefix) + L": " + SystemText<wchar_t>(code);
}

std::string ErrorTextA(const char* prefix, DWORD code)
{
    return std::string(prefix) + ": " + SystemText<char>(code);
}
