#include "service/Serializable.h"

#include "service/LatticeRemote.h"

#include <utility>

uint32_t LT_CALL cSerializable::TypeId() const
{
    return kTypeId;
}

BOOL LT_CALL cSerializable::IsBasedOn(uint32_t typeId) const
{
    return typeId == kTypeId;
}

LTStatus LT_CALL cSerializable::AssignFrom(const cSerializable*, BOOL, BOOL)
{
    return kLTErrNotSupported;
}

LTStatus LT_CALL cSerializable::CopyTo(cSerializable*, BOOL) const
{
    return kLTErrNotSupported;
}

uint32_t LT_CALL cSerializable::Size() const
{
    return sizeof(cSerializable);
}

void LT_CALL cSerializable::Reinitialize()
{
    hOBJECT root = LatticeRootObject();
    if (!root)
        return;
    LTSerializableDescriptor* descriptor = nullptr;
    LTSlot<LTFindSerializableTypeFn>(root->interfaceTable,
                                     kLTRootFindSerializableType)(root, &descriptor, TypeId());
    if (!descriptor)
        return;
    uint32_t value = std::exchange(m_value, 0);
    LTSlot<LTHandlerFreeFn>(descriptor->handler, kLTHandlerFree)(this);
    LTSlot<LTHandlerInitFn>(descriptor->handler, kLTHandlerInit)(this, 0);
    m_value = value;
}

uint32_t LT_CALL cFSSyncRequest::TypeId() const
{
    return kTypeId;
}

BOOL LT_CALL cFSSyncRequest::IsBasedOn(uint32_t typeId) const
{
    return typeId == kTypeId || cSerializable::IsBasedOn(typeId);
}

LTStatus LT_CALL cFSSyncRequest::AssignFrom(const cSerializable* source, BOOL strict,
                                            BOOL keepFields)
{
    if (!source->IsBasedOn(kTypeId))
        return strict ? kLTErrObjectIncompatible : kLTErrNotSupported;
    if (!keepFields)
        m_processId = static_cast<const cFSSyncRequest*>(source)->m_processId;
    return 0;
}

LTStatus LT_CALL cFSSyncRequest::CopyTo(cSerializable* target, BOOL strict) const
{
    return target->AssignFrom(this, strict, FALSE);
}

uint32_t LT_CALL cFSSyncRequest::Size() const
{
    return sizeof(cFSSyncRequest);
}
