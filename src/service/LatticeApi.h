#pragma once

// The binary interface of the component framework: what ltremote.dll exports, the positions in
// its entry-point table and in its objects' operation tables, and the signatures behind them.
// The program and anything that stands in for the framework both build on this header alone.

#include <windows.h>

#include <cstdint>

// Calling convention of every framework entry point, every object operation and every operation
// of a serializable record: __stdcall, arguments on the stack, the callee cleans up. It is the
// convention of the platform's own interfaces, so a framework built by any compiler agrees with
// it on i686; on x86_64 there is only one convention and the keyword changes nothing.
#define LT_CALL __stdcall

// 32-bit signed status of every framework operation: negative is a failure.
using LTStatus = int32_t;

inline constexpr LTStatus kLTErrNotFound = static_cast<LTStatus>(0x8000006B);
inline constexpr LTStatus kLTErrModuleNotLoaded = static_cast<LTStatus>(0x800001C1);
inline constexpr LTStatus kLTErrNotSupported = static_cast<LTStatus>(0x8000005D);
inline constexpr LTStatus kLTErrObjectIncompatible = static_cast<LTStatus>(0x800000C0);

// The slot type of every operation table; each slot is cast to its own signature below before
// it is called.
using LTFunction = void (*)();

// A framework object (the root, a proxy). Every operation, interface or system, takes the
// object's handle as its first argument.
struct LTObject
{
    const LTFunction* interfaceTable;
    const LTFunction* systemTable;
};
using hOBJECT = LTObject*;

// The export that fills the entry-point table.
inline constexpr char kLTGetAPI2Name[] = "LTGetAPI2";
inline constexpr unsigned kLTEntryCount = 48;
using LTGetAPI2Fn = LTStatus(LT_CALL*)(LTFunction* table, uint32_t tableBytes);

// Positions in the entry-point table.
inline constexpr unsigned kLTInit = 0;
inline constexpr unsigned kLTDeinit = 1;
inline constexpr unsigned kLTGetRoot = 2;
inline constexpr unsigned kLTStartProcess = 8;
inline constexpr unsigned kLTAttachProxy = 14;
inline constexpr unsigned kLTReleaseProxy = 16;
inline constexpr unsigned kLTCheckProxy = 19;

using LTInitFn = LTStatus(LT_CALL*)(const GUID* clientId, int32_t mode, int32_t flags);
using LTDeinitFn = void(LT_CALL*)();
using LTGetRootFn = LTStatus(LT_CALL*)(hOBJECT* root);
using LTStartProcessFn = LTStatus(LT_CALL*)(int32_t session, const char* image, const char* args,
                                            uint32_t timeout, int32_t reserved1, int32_t reserved2,
                                            int32_t reserved3);
using LTAttachProxyFn = LTStatus(LT_CALL*)(int32_t session, const char* name, hOBJECT* proxy);
using LTReleaseProxyFn = void(LT_CALL*)(hOBJECT proxy);
using LTCheckProxyFn = LTStatus(LT_CALL*)(hOBJECT proxy);

// Positions in the root's interface table and in the system table of the root and of a proxy.
inline constexpr unsigned kLTRootFindSerializableType = 29;
inline constexpr unsigned kLTRootLoadProxyStub = 39;
inline constexpr unsigned kLTSysSendMsg = 28;
inline constexpr unsigned kLTSysAllocMem = 52;
inline constexpr unsigned kLTSysFreeMem = 54;
// Position of the stop request in the interface table of the "TaskManager" proxy.
inline constexpr unsigned kLTTaskManagerStop = 1;

class cSerializable;

// What the root finds for a serializable type id: the handler of records of that type, an
// operation table of which positions 0 (initialise, with a flag) and 2 (free the fields) are used.
struct LTSerializableDescriptor
{
    uint32_t typeId;
    const LTFunction* handler;
};
inline constexpr unsigned kLTHandlerInit = 0;
inline constexpr unsigned kLTHandlerFree = 2;
using LTHandlerInitFn = LTStatus(LT_CALL*)(cSerializable* record, uint32_t flags);
using LTHandlerFreeFn = LTStatus(LT_CALL*)(cSerializable* record);

using LTFindSerializableTypeFn = LTStatus(LT_CALL*)(hOBJECT root,
                                                    LTSerializableDescriptor** descriptor,
                                                    uint32_t typeId);
using LTLoadProxyStubFn = LTStatus(LT_CALL*)(hOBJECT root, int32_t flags, const char* module,
                                             uint32_t moduleLength, int32_t mode);
using LTSendMsgFn = LTStatus(LT_CALL*)(hOBJECT object, uint32_t msgClass, uint32_t msgId,
                                       void* context, cSerializable* payload, uint32_t size);
using LTAllocMemFn = LTStatus(LT_CALL*)(hOBJECT object, void** memory, uint32_t bytes);
using LTFreeMemFn = LTStatus(LT_CALL*)(hOBJECT object, void* memory);
using LTStopFn = LTStatus(LT_CALL*)(hOBJECT proxy, int32_t mode);

// The identifier with which this program introduces itself to the framework's Init.
inline constexpr GUID kZAPatchClientId = {
    0x3D8A61F2, 0x5C07, 0x4E19, {0xA4, 0x6B, 0x91, 0x0E, 0xC2, 0x57, 0x38, 0xDF}};

// A slot of an operation table, as the function it holds.
template <typename Fn> Fn LTSlot(const LTFunction* table, unsigned position)
{
    return reinterpret_cast<Fn>(table[position]);
}
