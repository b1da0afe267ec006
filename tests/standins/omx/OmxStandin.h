#pragma once

// What the service stand-in omx.exe, the framework stand-in that starts and stops it, and the
// tests share: each running stand-in waits on a named event of its own process id.

#include <windows.h>
#include <tlhelp32.h>

#include <string>

inline std::wstring OmxStopEventName(DWORD processId)
{
    return L"ZAPatchStandinOmxStop-" + std::to_wstring(processId);
}

// Waits until the stand-in of that process is ready to be stopped.
inline bool WaitOmxStandinReady(DWORD processId)
{
    for (int check = 0; check < 500; ++check)
    {
        HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, OmxStopEventName(processId).c_str());
        if (event)
        {
            CloseHandle(event);
            return true;
        }
        Sleep(10);
    }
    return false;
}

// Asks every running service stand-in to end and waits until each has. Only processes that hold
// a stand-in's stop event are touched.
inline void StopOmxStandins()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
    {
        HANDLE event =
            OpenEventW(EVENT_MODIFY_STATE, FALSE, OmxStopEventName(entry.th32ProcessID).c_str());
        if (!event)
            continue;
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
        SetEvent(event);
        CloseHandle(event);
        if (process)
        {
            WaitForSingleObject(process, 10000);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
}
