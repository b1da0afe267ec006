#pragma once

#include "service/LatticeRemote.h"
#include "service/TaskManagerProxy.h"

#include <windows.h>

#include <memory>

// The link to the product's service omx.exe: makes sure the service runs (and stops it again at
// the end if this link started it), attaches to its "TaskManager" and sends it messages.
class CUsingOMX
{
  public:
    // Every wait of the link goes through this function. The program waits for real; tests give
    // one that returns at once, so that every retry path runs without the minutes it takes here.
    using WaitFunction = void (*)(DWORD milliseconds);
    static void Sleep(DWORD milliseconds);

    explicit CUsingOMX(HINSTANCE instance, WaitFunction wait = &CUsingOMX::Sleep);
    ~CUsingOMX();
    CUsingOMX(const CUsingOMX&) = delete;
    CUsingOMX& operator=(const CUsingOMX&) = delete;

    // Tells the service that this process is to be treated as invisible.
    void RegisterSelfInvisible();
    // Tells the service that the operating system must be restarted.
    void SetStatusNeedRebootOS();
    void StopOMXIfNeed();
    // Checks for the service for up to 30 seconds.
    bool WaitOMX();

  private:
    void EnterProductFolder();
    void Connect();
    void StartService();
    void HandleFailedTry(int attempt);
    bool HasAttachedProxy() const;
    // Traces the start of a message operation; false when there is no proxy to send through.
    bool CanSend(const wchar_t* method) const;
    void Send(const wchar_t* method, const char* failure, uint32_t msgClass, uint32_t msgId,
              cSerializable* payload, uint32_t size);

    std::unique_ptr<CLatticeRemote> m_framework;
    std::unique_ptr<CTaskManagerProxy> m_taskManager;
    bool m_startedByUs = false;
    bool m_stopAfterFailure = false;
    WaitFunction m_wait;
};

// Whether a process named exactly "omx.exe" exists.
bool IsOMXRunning();
