// Stand-in for the framework's client library ltremote.dll. It fills the entry-point table,
// implements the root object and the "TaskManager" proxy, starts the service stand-in omx.exe
// that lies beside it, and appends one line for every call it receives to a journal.
//
// Files:
//   ZAPATCH_STANDIN_LTREMOTE_JOURNAL         the journal (not written when unset)
//   omx.exe beside this library               started by StartProcess
// Switches (unset or 0: off):
//   ZAPATCH_STANDIN_LTREMOTE_REFUSE_LOAD=1    the library does not load, as if it were missing
//   ZAPATCH_STANDIN_LTREMOTE_INIT_FAILS=1     Init fails
//   ZAPATCH_STANDIN_LTREMOTE_GETROOT_FAILS=1  GetRoot fails
//   ZAPATCH_STANDIN_LTREMOTE_GETROOT_NULL=1   GetRoot succeeds without a root
//   ZAPATCH_STANDIN_LTREMOTE_PXSTUB_FAILS=1   LoadProxyStub fails
//   ZAPATCH_STANDIN_LTREMOTE_ATTACH_FAILS=N   the first N AttachProxy calls fail
//   ZAPATCH_STANDIN_LTREMOTE_CHECK_FAILS=1    CheckProxy reports every proxy unusable
//   ZAPATCH_STANDIN_LTREMOTE_SEND_FAILS_FROM=N  the Nth sysSendMsg and every later one fail
//   ZAPATCH_STANDIN_LTREMOTE_START_FAILS=N    the first N StartProcess calls fail and start
//                                             nothing (a large N: the service never starts)
// Built a second time as ltremote-noapi\ltremote.dll, a library without the export LTGetAPI2.

#include "service/LatticeApi.h"
#include "standins/omx/OmxStandin.h"

// The framework's documented convention, written out here rather than taken from the program's
// header: a program built with another one must fail against this library, not agree with it.
#define FRAMEWORK_CALL __stdcall

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

// Calls a record's operation that takes the record alone, as the framework does: __stdcall, so
// the operation removes its argument from the stack. One of another convention leaves the stack
// unbalanced: that is set right here and reported, not left to crash the caller later, or not.
extern "C" uint32_t CallRecordOperation(LTFunction operation, const cSerializable* record,
                                        int* balanced);
#ifdef __i386__
asm(".text\n"
    ".globl _CallRecordOperation\n"
    "_CallRecordOperation:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    pushl %esi\n"
    "    movl %esp, %esi\n" // the stack as it must be again after the call
    "    pushl 12(%ebp)\n"
    "    movl 12(%ebp), %ecx\n" // the record in ecx too, as a member function expects it
    "    call *8(%ebp)\n"
    "    xorl %ecx, %ecx\n"
    "    cmpl %esp, %esi\n"
    "    sete %cl\n"
    "    movl 16(%ebp), %edx\n"
    "    movl %ecx, (%edx)\n"
    "    movl %esi, %esp\n"
    "    popl %esi\n"
    "    popl %ebp\n"
    "    ret\n");
#else
// One convention only on x86_64.
extern "C" uint32_t CallRecordOperation(LTFunction operation, const cSerializable* record,
                                        int* balanced)
{
    *balanced = 1;
    return reinterpret_cast<uint32_t (*)(const cSerializable*)>(operation)(record);
}
#endif

namespace
{
constexpr LTStatus kFailure = static_cast<LTStatus>(0x8000004C);

HMODULE g_module = nullptr;
std::map<void*, uint32_t> g_allocations;
int g_startCalls = 0;
int g_attachCalls = 0;
int g_sendCalls = 0;
int g_proxyCount = 0;

int Switch(const char* name)
{
    char value[32] = {};
    if (!GetEnvironmentVariableA(name, value, sizeof(value)))
        return 0;
    return atoi(value);
}

void Journal(const char* format, ...)
{
    char path[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("ZAPATCH_STANDIN_LTREMOTE_JOURNAL", path, MAX_PATH))
        return;
    FILE* journal = fopen(path, "ab");
    if (!journal)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(journal, format, args);
    va_end(args);
    fputc('\n', journal);
    fclose(journal);
}

// An attached proxy: the object the handle points at, and its number for the journal.
struct Proxy
{
    LTObject object;
    int number;
};

int ProxyNumber(hOBJECT proxy)
{
    return reinterpret_cast<Proxy*>(proxy)->number;
}

// Root object

uint32_t BaseValue(const cSerializable* record)
{
    return *reinterpret_cast<const uint32_t*>(reinterpret_cast<const char*>(record) +
                                              sizeof(void*));
}

LTStatus FRAMEWORK_CALL HandlerInit(cSerializable* record, uint32_t flags)
{
    Journal("Handler init value %u flags %u", BaseValue(record), flags);
    return 0;
}

LTStatus FRAMEWORK_CALL HandlerFree(cSerializable* record)
{
    Journal("Handler free value %u", BaseValue(record));
    return 0;
}

// Only the request record's type is known here.
LTStatus FRAMEWORK_CALL FindSerializableType(hOBJECT, LTSerializableDescriptor** descriptor,
                                             uint32_t typeId)
{
    static const LTFunction handler[3] = {reinterpret_cast<LTFunction>(&HandlerInit), nullptr,
                                          reinterpret_cast<LTFunction>(&HandlerFree)};
    static LTSerializableDescriptor request = {0x229000, handler};
    Journal("FindSerializableType %x", typeId);
    *descriptor = typeId == request.typeId ? &request : nullptr;
    return *descriptor ? 0 : kFailure;
}

LTStatus FRAMEWORK_CALL LoadProxyStub(hOBJECT, int32_t flags, const char* module, uint32_t length,
                                      int32_t mode)
{
    Journal("LoadProxyStub %d %.*s %u %d", flags, static_cast<int>(length), module, length, mode);
    return Switch("ZAPATCH_STANDIN_LTREMOTE_PXSTUB_FAILS") ? kFailure : 0;
}

LTStatus FRAMEWORK_CALL AllocMem(hOBJECT, void** memory, uint32_t bytes)
{
    Journal("AllocMem %u", bytes);
    *memory = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    g_allocations[*memory] = bytes;
    return 0;
}

LTStatus FRAMEWORK_CALL FreeMem(hOBJECT, void* memory)
{
    auto found = g_allocations.find(memory);
    if (found == g_allocations.end())
    {
        Journal("FreeMem unknown");
        return kFailure;
    }
    Journal("FreeMem %u", found->second);
    g_allocations.erase(found);
    HeapFree(GetProcessHeap(), 0, memory);
    return 0;
}

// Proxy of "TaskManager"

LTStatus FRAMEWORK_CALL SendMsg(hOBJECT proxy, uint32_t msgClass, uint32_t msgId, void* context,
                                cSerializable* payload, uint32_t size)
{
    char record[96] = "null";
    if (payload)
    {
        // Read as the framework reads records: the operation table, then the fields.
        auto table = *reinterpret_cast<const LTFunction* const*>(payload);
        int balanced = 0;
        uint32_t typeId = CallRecordOperation(table[0], payload, &balanced);
        if (!balanced)
        {
            Journal("sysSendMsg: the record's operations are not __stdcall");
            return kFailure;
        }
        auto pid = reinterpret_cast<const uint32_t*>(reinterpret_cast<const char*>(payload) +
                                                     sizeof(void*) + 4);
        snprintf(record, sizeof(record), "type %x value %u pid %u", typeId, BaseValue(payload),
                 *pid);
    }
    Journal("sysSendMsg %d %x %x %llx %s %x", ProxyNumber(proxy), msgClass, msgId,
            static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(context)), record, size);
    int failFrom = Switch("ZAPATCH_STANDIN_LTREMOTE_SEND_FAILS_FROM");
    return failFrom && ++g_sendCalls >= failFrom ? kFailure : 0;
}

LTStatus FRAMEWORK_CALL Stop(hOBJECT proxy, int32_t mode)
{
    Journal("Stop %d %d", ProxyNumber(proxy), mode);
    StopOmxStandins();
    return 0;
}

const LTFunction* RootInterface()
{
    static LTFunction table[40] = {};
    table[kLTRootFindSerializableType] = reinterpret_cast<LTFunction>(&FindSerializableType);
    table[kLTRootLoadProxyStub] = reinterpret_cast<LTFunction>(&LoadProxyStub);
    return table;
}

const LTFunction* RootSystem()
{
    static LTFunction table[55] = {};
    table[kLTSysAllocMem] = reinterpret_cast<LTFunction>(&AllocMem);
    table[kLTSysFreeMem] = reinterpret_cast<LTFunction>(&FreeMem);
    return table;
}

const LTFunction* ProxyInterface()
{
    static LTFunction table[2] = {};
    table[kLTTaskManagerStop] = reinterpret_cast<LTFunction>(&Stop);
    return table;
}

const LTFunction* ProxySystem()
{
    static LTFunction table[55] = {};
    table[kLTSysSendMsg] = reinterpret_cast<LTFunction>(&SendMsg);
    return table;
}

LTObject g_root = {};

// Entry points

LTStatus FRAMEWORK_CALL Init(const GUID* clientId, int32_t mode, int32_t flags)
{
    bool known = memcmp(clientId, &kZAPatchClientId, sizeof(GUID)) == 0;
    Journal("Init %s %d %d", known ? "ZAPatch" : "unknown-client", mode, flags);
    return known && !Switch("ZAPATCH_STANDIN_LTREMOTE_INIT_FAILS") ? 0 : kFailure;
}

void FRAMEWORK_CALL Deinit()
{
    Journal("Deinit");
}

LTStatus FRAMEWORK_CALL GetRoot(hOBJECT* root)
{
    Journal("GetRoot");
    if (Switch("ZAPATCH_STANDIN_LTREMOTE_GETROOT_FAILS"))
        return kFailure;
    if (Switch("ZAPATCH_STANDIN_LTREMOTE_GETROOT_NULL"))
    {
        *root = nullptr;
        return 0;
    }
    g_root = {RootInterface(), RootSystem()};
    *root = &g_root;
    return 0;
}

bool StartOmx()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(g_module, path, MAX_PATH);
    std::wstring folder(path);
    std::wstring commandLine = L"\"" + folder.substr(0, folder.rfind(L'\\') + 1) + L"omx.exe\" -s";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return WaitOmxStandinReady(process.dwProcessId);
}

LTStatus FRAMEWORK_CALL StartProcess(int32_t session, const char* image, const char* args,
                                     uint32_t timeout, int32_t reserved1, int32_t reserved2,
                                     int32_t reserved3)
{
    Journal("StartProcess %d %s %s %u %d %d %d", session, image, args, timeout, reserved1,
            reserved2, reserved3);
    if (++g_startCalls <= Switch("ZAPATCH_STANDIN_LTREMOTE_START_FAILS"))
        return kFailure;
    return StartOmx() ? 0 : kFailure;
}

LTStatus FRAMEWORK_CALL AttachProxy(int32_t session, const char* name, hOBJECT* proxy)
{
    const char* where =
        g_allocations.count(const_cast<char*>(name)) ? "" : " (not framework memory)";
    if (++g_attachCalls <= Switch("ZAPATCH_STANDIN_LTREMOTE_ATTACH_FAILS"))
    {
        Journal("AttachProxy %d %s%s -> failed", session, name ? name : "(null)", where);
        return kFailure;
    }
    auto attached = new Proxy{{ProxyInterface(), ProxySystem()}, ++g_proxyCount};
    Journal("AttachProxy %d %s%s -> %d", session, name ? name : "(null)", where, attached->number);
    *proxy = &attached->object;
    return 0;
}

void FRAMEWORK_CALL ReleaseProxy(hOBJECT proxy)
{
    Journal("ReleaseProxy %d", ProxyNumber(proxy));
    delete reinterpret_cast<Proxy*>(proxy);
}

LTStatus FRAMEWORK_CALL CheckProxy(hOBJECT proxy)
{
    Journal("CheckProxy %d", ProxyNumber(proxy));
    return Switch("ZAPATCH_STANDIN_LTREMOTE_CHECK_FAILS") ? kFailure : 0;
}
} // namespace

#ifdef ZAPATCH_STANDIN_WITHOUT_API
// An older library: its table export has another name, so LTGetAPI2 is missing.
#define LTGetAPI2 LTGetAPI
#endif

extern "C" __declspec(dllexport) LTStatus FRAMEWORK_CALL
    LTGetAPI2(LTFunction* table, uint32_t bytes)
{
    if (bytes != kLTEntryCount * sizeof(LTFunction))
    {
        Journal("LTGetAPI2 wrong size %u", bytes);
        return kFailure;
    }
    Journal("LTGetAPI2");
    memset(table, 0, bytes);
    table[kLTInit] = reinterpret_cast<LTFunction>(&Init);
    table[kLTDeinit] = reinterpret_cast<LTFunction>(&Deinit);
    table[kLTGetRoot] = reinterpret_cast<LTFunction>(&GetRoot);
    table[kLTStartProcess] = reinterpret_cast<LTFunction>(&StartProcess);
    table[kLTAttachProxy] = reinterpret_cast<LTFunction>(&AttachProxy);
    table[kLTReleaseProxy] = reinterpret_cast<LTFunction>(&ReleaseProxy);
    table[kLTCheckProxy] = reinterpret_cast<LTFunction>(&CheckProxy);
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    g_module = instance;
    return !Switch("ZAPATCH_STANDIN_LTREMOTE_REFUSE_LOAD");
}
