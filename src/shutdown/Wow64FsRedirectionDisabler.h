#pragma once

#include <windows.h>

// Switches WOW64 file-system redirection off for the calling thread for its own lifetime, so
// that "system32" names the real system folder also for a 32-bit process. The functions are
// looked up by name every time: a Windows without them leaves redirection untouched.
class CWow64FsRedirectionDisabler
{
  public:
    CWow64FsRedirectionDisabler();
    ~CWow64FsRedirectionDisabler();
    CWow64FsRedirectionDisabler(const CWow64FsRedirectionDisabler&) = delete;
    CWow64FsRedirectionDisabler& operator=(const CWow64FsRedirectionDisabler&) = delete;

  private:
    PVOID m_previousState = nullptr;
    BOOL m_disabled = FALSE;
};
