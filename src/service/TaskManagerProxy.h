#pragma once

#include "service/LatticeRemote.h"

// The attachment to the service's object "TaskManager". The object's name lives in framework
// memory, as the framework asks of names handed to it.
class CTaskManagerProxy
{
  public:
    explicit CTaskManagerProxy(CLatticeRemote& loader);
    ~CTaskManagerProxy();
    CTaskManagerProxy(const CTaskManagerProxy&) = delete;
    CTaskManagerProxy& operator=(const CTaskManagerProxy&) = delete;

    // Releases a proxy held and attaches anew; true when a proxy is attached.
    bool Attach();
    bool IsAttached() const { return m_proxy != nullptr; }
    // Only while attached:
    LTStatus CheckProxy() const;
    LTStatus SendMsg(uint32_t msgClass, uint32_t msgId, void* context, cSerializable* payload,
                     uint32_t size) const;
    void RequestStop() const;

  private:
    void ReleaseProxy();

    CLatticeRemote& m_loader;
    char* m_name = nullptr;
    hOBJECT m_proxy = nullptr;
};
