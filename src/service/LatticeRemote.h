#pragma once

#include "service/LatticeApi.h"

// The framework's client library ltremote.dll: its entry points and the root object. Set-up
// failures leave a negative status and nothing of the library may be called then.
class CLatticeRemote
{
  public:
    CLatticeRemote() = default;
    // Deinitialises the framework if it was initialised; the library itself stays loaded.
    ~CLatticeRemote();
    CLatticeRemote(const CLatticeRemote&) = delete;
    CLatticeRemote& operator=(const CLatticeRemote&) = delete;

    // Loads ltremote.dll from the folder of module, else by the system's search, fills the
    // entry points, initialises the framework and gets the root. Returns the status.
    LTStatus SetUp(HMODULE module, const GUID* clientId);

    LTStatus Status() const { return m_status; }
    // The whole set-up succeeded: the entry points may be called.
    bool IsReady() const { return m_status >= 0; }
    hOBJECT Root() const { return m_root; }

    // An entry point of the table; only when IsReady().
    template <typename Fn> Fn Entry(unsigned position) const
    {
        return LTSlot<Fn>(m_entries, position);
    }

  private:
    LTFunction m_entries[kLTEntryCount] = {};
    HMODULE m_library = nullptr;
    hOBJECT m_root = nullptr;
    LTStatus m_status = kLTErrNotFound;
    bool m_initialized = false;
};

// The root of the framework set up last in this process, for the serializable records; null when
// there is none.
hOBJECT LatticeRootObject();
