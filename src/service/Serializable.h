#pragma once

#include "service/LatticeApi.h"

// The framework's serializable records: the first word of a record is its type's operation table,
// the fields follow. The framework calls the table's slots by position with the record as the
// first argument, so the virtual operations below are declared in slot order, use the framework's
// calling convention, and no virtual destructor is declared (it would take slots of its own).
class cSerializable
{
  public:
    static constexpr uint32_t kTypeId = 0xFFFFFFFF;

    explicit cSerializable(uint32_t value = 0) : m_value(value) {}

    virtual uint32_t LT_CALL TypeId() const;               // slot 0
    virtual BOOL LT_CALL IsBasedOn(uint32_t typeId) const; // slot 1
    virtual LTStatus LT_CALL AssignFrom(const cSerializable* source, BOOL strict,
                                        BOOL keepFields);                      // slot 2
    virtual LTStatus LT_CALL CopyTo(cSerializable* target, BOOL strict) const; // slot 3
    virtual uint32_t LT_CALL Size() const;                                     // slot 4
    // Slots 5, 6, 8 and 9 are the framework's; records of these types have nothing to do there.
    virtual LTStatus LT_CALL Slot5() { return 0; }
    virtual void LT_CALL Slot6() {}
    // Lets the type's handler free and re-initialise the fields; the base value survives.
    virtual void LT_CALL Reinitialize(); // slot 7
    virtual void LT_CALL Slot8() {}
    virtual void LT_CALL Slot9() {}

    uint32_t Value() const { return m_value; }

  private:
    uint32_t m_value;
};

// Asks the service about a process: the base value is the request, then the process id.
class cFSSyncRequest : public cSerializable
{
  public:
    static constexpr uint32_t kTypeId = 0x229000;

    cFSSyncRequest(uint32_t value, uint32_t processId)
        : cSerializable(value), m_processId(processId)
    {
    }

    uint32_t LT_CALL TypeId() const override;
    BOOL LT_CALL IsBasedOn(uint32_t typeId) const override;
    LTStatus LT_CALL AssignFrom(const cSerializable* source, BOOL strict, BOOL keepFields) override;
    LTStatus LT_CALL CopyTo(cSerializable* target, BOOL strict) const override;
    uint32_t LT_CALL Size() const override;

    uint32_t ProcessId() const { return m_processId; }

  private:
    uint32_t m_processId;
};

// The framework reads the fields right behind the table pointer, with the sizes of the i686 build.
static_assert(sizeof(cFSSyncRequest) == sizeof(void*) + 8);
static_assert(sizeof(void*) != 4 || (sizeof(cSerializable) == 8 && sizeof(cFSSyncRequest) == 12));
