#include "service/LatticeRemote.h"

#include "catalog/FileSystemUtils.h"

#include <string>

namespace
{
constexpr wchar_t kLibraryName[] = L"ltremote.dll";

hOBJECT g_root = nullptr;

// The library beside the module; the path is not cut at MAX_PATH, so a long folder still works.
std::wstring LibraryBeside(HMODULE module)
{
    std::wstring path = GetModuleFilePath(module);
    return path.substr(0, path.find_last_of(L'\\') + 1) + kLibraryName;
}

HMODULE LoadFrameworkLibrary(HMODULE module)
{
    HMODULE library =
        LoadLibraryExW(LibraryBeside(module).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return library ? library : LoadLibraryExW(kLibraryName, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
} // namespace

hOBJECT LatticeRootObject()
{
    return g_root;
}

LTStatus CLatticeRemote::SetUp(HMODULE module, const GUID* clientId)
{
    m_library = LoadFrameworkLibrary(module);
    if (!m_library)
        return m_status = kLTErrModuleNotLoaded;

    auto getApi = reinterpret_cast<LTGetAPI2Fn>(
        reinterpret_cast<LTFunction>(GetProcAddress(m_library, kLTGetAPI2Name)));
    if (!getApi)
        return m_status;
    m_status = getApi(m_entries, sizeof(m_entries));
    if (m_status < 0)
        return m_status;

    m_status = Entry<LTInitFn>(kLTInit)(clientId, 1, 0);
    if (m_status < 0)
        return m_status;
    m_initialized = true;
    hOBJECT root = nullptr;
    m_status = Entry<LTGetRootFn>(kLTGetRoot)(&root);
    if (m_status >= 0 && !root)
        m_status = kLTErrNotFound; // every later call goes through the root
    if (m_status >= 0)
        g_root = m_root = root;
    return m_status;
}

// The library is not unloaded: the framework may still run threads of its own in this process.
CLatticeRemote::~CLatticeRemote()
{
    if (g_root && g_root == m_root)
        g_root = nullptr;
    if (m_initialized)
        Entry<LTDeinitFn>(kLTDeinit)();
}
