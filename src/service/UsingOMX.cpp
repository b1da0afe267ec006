#include "service/UsingOMX.h"

#include "catalog/Handles.h"
#include "catalog/ProductKeys.h"
#include "catalog/RegistryUtils.h"
#include "diag/ErrorText.h"
#include "diag/TraceLog.h"
#include "service/Serializable.h"

#include <tlhelp32.h>

#include <cwchar>
#include <stdexcept>
#include <vector>

namespace
{
constexpr wchar_t kConstructor[] = L"CUsingOMX::CUsingOMX";
constexpr wchar_t kRegisterSelfInvisible[] = L"CUsingOMX::RegisterSelfInvisible";
constexpr wchar_t kSetStatusNeedRebootOS[] = L"CUsingOMX::SetStatusNeedRebootOS";

constexpr int kTries = 12;
constexpr int kStartRequests = 12;
constexpr int kServiceChecks = 30;
constexpr DWORD kTryPause = 5000;
constexpr DWORD kCheckPause = 1000;

constexpr wchar_t kServiceImage[] = L"omx.exe";

constexpr uint32_t kMsgRegisterInvisible = 0xAE5E2EA3;
constexpr uint32_t kMsgRegisterInvisibleId = 0x1002;
constexpr uint32_t kRequestInvisible = 1;
constexpr uint32_t kMsgRebootRequestTask = 0x64E52DB8;
constexpr uint32_t kMsgProductState = 0x2937151D;
constexpr uint32_t kMsgProductStateChanged = 0xC1D5EFA5;
// The framework takes the size of a serializable payload from the record itself.
constexpr uint32_t kSerializedPayload = 0xFFFFFFFF;

CTraceLog& Log()
{
    return CTraceLog::Instance();
}

[[noreturn]] void Fail(const char* text)
{
    throw std::logic_error(text);
}
} // namespace

void CUsingOMX::Sleep(DWORD milliseconds)
{
    ::Sleep(milliseconds);
}

CUsingOMX::CUsingOMX(HINSTANCE instance, WaitFunction wait) : m_wait(wait)
{
    EnterProductFolder();
    m_framework = std::make_unique<CLatticeRemote>();
    m_framework->SetUp(instance, &kZAPatchClientId);
    for (int attempt = 1;; ++attempt)
    {
        try
        {
            Log().Trace(500, L"%s: the %d try.", kConstructor, attempt);
            Connect();
            return;
        }
        catch (const std::logic_error&)
        {
            HandleFailedTry(attempt);
        }
    }
}

void CUsingOMX::EnterProductFolder()
{
    std::vector<wchar_t> productRoot;
    DWORD status =
        RegQuerySubKeyStrValue(HKEY_LOCAL_MACHINE, kEnvironmentKey, L"ProductRoot", productRoot);
    if (status != ERROR_SUCCESS)
        throw std::logic_error(ErrorTextA("CUsingOMX::CUsingOMX", status));
    const wchar_t* folder = productRoot.data();
    Log().Trace(500, L"%s: ProductFolder: %s", kConstructor, folder);
    if (!SetCurrentDirectoryW(folder))
        throw std::logic_error(ErrorTextA("CUsingOMX::CUsingOMX", GetLastError()));
}

void CUsingOMX::Connect()
{
    if (WaitOMX())
        Log().Trace(500, L"%s: OMX running.", kConstructor);
    else
    {
        Log().Trace(500, L"%s: OMX not running.", kConstructor);
        Log().Trace(500, L"%s: Start OMX service.", kConstructor);
        StartService();
        if (!WaitOMX())
            Fail("CUsingOMX::CUsingOMX: Cann't start OMX service.");
        m_startedByUs = true;
    }

    m_taskManager = std::make_unique<CTaskManagerProxy>(*m_framework);
    LTStatus status = m_framework->Status();
    if (status >= 0)
    {
        hOBJECT root = m_framework->Root();
        status = LTSlot<LTLoadProxyStubFn>(root->interfaceTable,
                                           kLTRootLoadProxyStub)(root, 0, "pxstub.lmd", 10, -12);
    }
    if (status < 0)
    {
        Log().Trace(300, L"%s: LoadProxyStub error 0x%x.", kConstructor, status);
        m_stopAfterFailure = true;
        Fail("CUsingOMX::CUsingOMX: LoadProxyStub error.");
    }
    if (!m_taskManager->Attach())
    {
        Log().Trace(350, L"%s: cannot attach TM proxy.", kConstructor);
        m_stopAfterFailure = true;
        Fail("CUsingOMX::CUsingOMX: cannot attach proxy.");
    }
    Log().Trace(500, L"%s: SUCCESS.", kConstructor);
}

// A framework that failed to set up has no entry points to call: then the service can only have
// come up by itself.
void CUsingOMX::StartService()
{
    if (!m_framework->IsReady())
        return;
    auto startProcess = m_framework->Entry<LTStartProcessFn>(kLTStartProcess);
    for (int request = 0; request < kStartRequests; ++request)
    {
        LTStatus status = startProcess(-1, "omx.exe", "-s", 20000, 0, 0, 0);
        Log().Trace(500, L"cOMX::Start: CreateProcess -s returned: 0x%x", status);
        if (status >= 0)
            return;
    }
}

// Rethrows the try's failure after the last try.
void CUsingOMX::HandleFailedTry(int attempt)
{
    StopOMXIfNeed();
    m_stopAfterFailure = false;
    m_taskManager.reset();
    if (attempt == kTries)
    {
        Log().Trace(500, L"%s: Free Lattice.", kConstructor);
        m_framework.reset();
        throw;
    }
    Log().Trace(500, L"%s: Wait before next try.", kConstructor);
    m_wait(kTryPause);
}

CUsingOMX::~CUsingOMX()
{
    StopOMXIfNeed();
    Log().Trace(500, L"%s: Free Lattice.", L"CUsingOMX::~CUsingOMX");
    m_taskManager.reset();
    m_framework.reset();
}

bool CUsingOMX::WaitOMX()
{
    for (int check = 0; check < kServiceChecks; ++check)
    {
        if (IsOMXRunning())
            return true;
        Log().Trace(500, L"%s: Wait OMX service...", L"CUsingOMX::WaitOMX");
        m_wait(kCheckPause);
    }
    return false;
}

bool IsOMXRunning()
{
    CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry))
    {
        if (wcscmp(entry.szExeFile, kServiceImage) == 0)
            return true;
    }
    return false;
}

bool CUsingOMX::HasAttachedProxy() const
{
    return m_framework && m_taskManager && m_taskManager->IsAttached();
}

bool CUsingOMX::CanSend(const wchar_t* method) const
{
    Log().Trace(500, L"%s: START", method);
    if (HasAttachedProxy())
        return true;
    Log().Trace(400, L"%s: no Lattice. Nothing to do.", method);
    return false;
}

void CUsingOMX::Send(const wchar_t* method, const char* failure, uint32_t msgClass, uint32_t msgId,
                     cSerializable* payload, uint32_t size)
{
    LTStatus status = m_taskManager->SendMsg(msgClass, msgId, nullptr, payload, size);
    if (status < 0)
    {
        Log().Trace(300, L"%s: sysSendMsg error 0x%x.", method, status);
        Fail(failure);
    }
}

void CUsingOMX::RegisterSelfInvisible()
{
    if (!CanSend(kRegisterSelfInvisible))
        return;
    cFSSyncRequest request(kRequestInvisible, GetCurrentProcessId());
    Send(kRegisterSelfInvisible, "CUsingOMX::RegisterSelfInvisible: sysSendMsg error.",
         kMsgRegisterInvisible, kMsgRegisterInvisibleId, &request, kSerializedPayload);
    Log().Trace(500, L"%s: SUCCESS", kRegisterSelfInvisible);
}

void CUsingOMX::SetStatusNeedRebootOS()
{
    if (!CanSend(kSetStatusNeedRebootOS))
        return;
    constexpr char failure[] = "CUsingOMX::SetStatusNeedRebootOS: sysSendMsg error.";
    Log().Trace(500, L"%s: Before create task OS reboot request.", kSetStatusNeedRebootOS);
    Send(kSetStatusNeedRebootOS, failure, kMsgRebootRequestTask, 0, nullptr, 0);
    Log().Trace(500, L"%s: Before send message about change product state.",
                kSetStatusNeedRebootOS);
    Send(kSetStatusNeedRebootOS, failure, kMsgProductState, kMsgProductStateChanged, nullptr, 0);
    Log().Trace(500, L"%s: SUCCESS", kSetStatusNeedRebootOS);
}

void CUsingOMX::StopOMXIfNeed()
{
    if (!m_startedByUs && !m_stopAfterFailure)
        return;
    Log().Trace(500, L"%s: Stop OMX service.", L"CUsingOMX::StopOMXIfNeed");
    if (!HasAttachedProxy())
        return;
    if (m_taskManager->CheckProxy() < 0 && !m_taskManager->Attach())
        return;
    m_taskManager->RequestStop();
}
