#pragma once

// The product service link's tests run against the stand-ins ltremote.dll and omx.exe beside the
// test program; each test has its own product folder, trace file, journal and switches.

#include "catalog/FileSystemUtils.h"
#include "catalog/ProductKeys.h"
#include "standins/omx/OmxStandin.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

class ServiceTest : public ::testing::Test
{
  protected:
    ServiceTest()
    {
        CRegistrySandbox::SetString(kEnvironmentKey, L"ProductRoot", m_product.Path());
        CRegistrySandbox::SetString(kEnvironmentKey, L"TraceRoot", m_product.Path() + L"\\");
        SetEnvironmentVariableW(L"ZAPATCH_STANDIN_LTREMOTE_JOURNAL", JournalPath().c_str());
        Waits().clear();
    }
    ~ServiceTest() override
    {
        StopOmxStandins();
        SetCurrentDirectoryW(ProgramFolder().c_str());
    }

    static std::wstring ProgramFolder()
    {
        std::wstring path = GetModuleFilePath();
        return path.substr(0, path.rfind(L'\\'));
    }
    static void Switch(const wchar_t* name, const wchar_t* value)
    {
        SetEnvironmentVariableW((std::wstring(L"ZAPATCH_STANDIN_LTREMOTE_") + name).c_str(), value);
    }
    // The stand-in library without LTGetAPI2, in a folder of its own.
    static HMODULE LibraryWithoutApi()
    {
        return LoadLibraryW((ProgramFolder() + L"\\ltremote-noapi\\ltremote.dll").c_str());
    }

    // Starts the service stand-in from a copy of it under the given name, as if the product had.
    void StartService(const wchar_t* name = L"omx.exe")
    {
        std::wstring folder = m_product / (L"service-" + std::to_wstring(++m_services));
        CreateDirectoryW(folder.c_str(), nullptr);
        std::wstring image = folder + L"\\" + name;
        ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\omx.exe").c_str(), image.c_str(), FALSE));
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        std::wstring commandLine = L"\"" + image + L"\"";
        ASSERT_TRUE(CreateProcessW(image.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, nullptr, &startup, &process));
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        ASSERT_TRUE(WaitOmxStandinReady(process.dwProcessId));
    }

    std::wstring JournalPath() const { return m_product / L"journal.txt"; }
    std::vector<std::string> Journal() const
    {
        std::istringstream text(ReadFileBytes(JournalPath()));
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        return lines;
    }
    std::string TraceText() const { return ReadFileBytes(m_product / L"ZAPatch.log"); }
    static int Count(const std::string& text, const std::string& part)
    {
        int count = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++count;
        return count;
    }
    static int Count(const std::vector<std::string>& lines, const std::string& line)
    {
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }

    // The waits the link asked for; none of them is slept.
    static std::vector<DWORD>& Waits()
    {
        static std::vector<DWORD> waits;
        return waits;
    }
    static void RecordWait(DWORD milliseconds) { Waits().push_back(milliseconds); }

    CRegistrySandbox m_registry;
    CTempFolder m_product;
    int m_services = 0;
};
