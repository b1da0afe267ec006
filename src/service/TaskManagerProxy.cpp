#include "service/TaskManagerProxy.h"

#include <cstring>

namespace
{
constexpr char kObjectName[] = "TaskManager";
} // namespace

CTaskManagerProxy::CTaskManagerProxy(CLatticeRemote& loader) : m_loader(loader)
{
    hOBJECT root = m_loader.Root();
    if (!root)
        return;
    void* memory = nullptr;
    if (LTSlot<LTAllocMemFn>(root->systemTable, kLTSysAllocMem)(root, &memory,
                                                                sizeof(kObjectName)) >= 0 &&
        memory)
    {
        m_name = static_cast<char*>(memcpy(memory, kObjectName, sizeof(kObjectName)));
    }
}

CTaskManagerProxy::~CTaskManagerProxy()
{
    hOBJECT root = m_loader.Root();
    if (m_name && root)
        LTSlot<LTFreeMemFn>(root->systemTable, kLTSysFreeMem)(root, m_name);
    ReleaseProxy();
}

void CTaskManagerProxy::ReleaseProxy()
{
    if (m_proxy)
        m_loader.Entry<LTReleaseProxyFn>(kLTReleaseProxy)(m_proxy);
    m_proxy = nullptr;
}

bool CTaskManagerProxy::Attach()
{
    ReleaseProxy();
    if (!m_loader.Root())
        return false;
    hOBJECT proxy = nullptr;
    if (m_loader.Entry<LTAttachProxyFn>(kLTAttachProxy)(-1, m_name, &proxy) < 0)
        return false;
    m_proxy = proxy;
    return m_proxy != nullptr;
}

LTStatus CTaskManagerProxy::CheckProxy() const
{
    return m_loader.Entry<LTCheckProxyFn>(kLTCheckProxy)(m_proxy);
}

LTStatus CTaskManagerProxy::SendMsg(uint32_t msgClass, uint32_t msgId, void* context,
                                    cSerializable* payload, uint32_t size) const
{
    return LTSlot<LTSendMsgFn>(m_proxy->systemTable, kLTSysSendMsg)(m_proxy, msgClass, msgId,
                                                                    context, payload, size);
}

void CTaskManagerProxy::RequestStop() const
{
    LTSlot<LTStopFn>(m_proxy->interfaceTable, kLTTaskManagerStop)(m_proxy, 0);
}
