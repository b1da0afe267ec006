#include "runner/PatchRunner.h"

#include "app/CMDParser.h"
#include "catalog/FileSystemUtils.h"
#include "catalog/Handles.h"
#include "catalog/PatchFiles.h"
#include "catalog/PatchManager.h"
#include "catalog/ProductKeys.h"
#include "catalog/RegistryUtils.h"
#include "diag/ErrorText.h"
#include "diag/EventLog.h"
#include "diag/TraceLog.h"
#include "runner/CrtProc.h"
#include "runner/DeferredParameters.h"
#include "runner/PatchLetter.h"
#include "runner/WhenParameter.h"
#include "service/UsingOMX.h"
#include "shutdown/ShutdownScript.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace
{
constexpr wchar_t kApply[] = L"CPatchRunner::ApplyPublicPachesNow";
constexpr wchar_t kUninstall[] = L"CPatchRunner::UninstallPublicPachesNow";
constexpr wchar_t kRun[] = L"CPatchRunner::RunPublicPatch";
constexpr wchar_t kDefer[] = L"CPatchRunner::CreateShutdownScript";

// Windows Installer runs one installation at a time and ends with 1618 while another one is in
// progress: the run waits for it a bounded time, well inside what Windows gives shutdown scripts.
constexpr int kBusyRuns = 4;
constexpr DWORD kBusyWaitMilliseconds = 20000;

std::wstring JoinList(const StringList& pieces, const wchar_t* separator)
{
    std::wstring joined;
    for (size_t i = 0; i < pieces.size(); ++i)
    {
        if (i)
            joined += separator;
        joined += pieces[i];
    }
    return joined;
}

// Sorts the product's installed hotfixes into public and private ones; none when the value is
// missing, unreadable or empty.
void ReadInstalledHotfixes(StringList& installedPublic, StringList& installedPrivate)
{
    std::vector<wchar_t> value;
    if (RegQuerySubKeyStrValue(HKEY_LOCAL_MACHINE, kDataKey, L"ProductHotfix", value) !=
            ERROR_SUCCESS ||
        !value[0])
        return;
    CTraceLog& log = CTraceLog::Instance();
    log.Trace(500, L"The installed patches are '%s'", value.data());
    StringList hotfixes;
    SplitString(value.data(), L'.', hotfixes);
    log.Trace(500, L"%d installed patches found", static_cast<int>(hotfixes.size()));
    for (std::wstring& hotfix : hotfixes)
        (IsPrivateHotfix(hotfix) ? installedPrivate : installedPublic).push_back(std::move(hotfix));
    log.Trace(500, L"%d installed public patches found", static_cast<int>(installedPublic.size()));
}
} // namespace

std::wstring GetProductFolder()
{
    std::vector<wchar_t> value;
    DWORD status =
        RegQuerySubKeyStrValue(HKEY_LOCAL_MACHINE, kEnvironmentKey, L"ProductRoot", value);
    if (status != ERROR_SUCCESS)
        throw std::logic_error(ErrorTextA("GetProductFolder", status));
    std::wstring folder = value.data();
    if (folder.empty() || (folder.back() != L'\\' && folder.back() != L'/'))
        folder += L'\\';
    return folder;
}

bool IsMsiexecSuccess(DWORD exitCode)
{
    return exitCode == ERROR_SUCCESS || exitCode == ERROR_SUCCESS_REBOOT_INITIATED ||
           exitCode == ERROR_SUCCESS_REBOOT_REQUIRED;
}

CPatchRunner::CPatchRunner(std::shared_ptr<CCMDParser> commandLine, const std::wstring& version,
                           bool listing, CUsingOMX::WaitFunction wait)
    : m_commandLine(std::move(commandLine)), m_listing(listing), m_wait(wait),
      m_modulePath(GetModuleFilePath()), m_messages(version), m_productFolder(GetProductFolder()),
      m_patchesFolder(m_productFolder + L"Patches")
{
    constexpr wchar_t kName[] = L"CPatchRunner::CPatchRunner";
    CTraceLog::Instance().Trace(500, L"%s: Create %s folder for patches.", kName,
                                m_patchesFolder.c_str());
    // The folder creation uses the extended-length form, in which "/" is no separator.
    std::wstring creatable = m_patchesFolder;
    std::replace(creatable.begin(), creatable.end(), L'/', L'\\');
    DWORD status = CreateDirRecurs(creatable.c_str());
    if (status != ERROR_SUCCESS)
        throw std::logic_error(ErrorTextA("CPatchRunner::CPatchRunner", status));
    m_stateFilePath = m_patchesFolder + L"\\Patches.ini";
    m_catalogue = std::make_shared<CPatchManager>(m_productFolder, m_patchesFolder, m_stateFilePath,
                                                  m_listing);
    CTraceLog::Instance().Trace(500, L"%s: Created.", kName);
}

void CPatchRunner::RunPublicPatch(std::shared_ptr<CUsingOMX> service)
{
    if (IgnorePatchesIfAsked())
        return;
    std::wstring when;
    m_commandLine->GetParamValue(when, L"/when");
    if (m_commandLine->IsParamPresent(L"/clean"))
        CShutdownScript(m_modulePath).Delete();
    CorrectWhenPar(when);
    if (when == L"now")
        RunNow();
    else if (when == L"reboot")
        RunAtReboot(*service);
    else
    {
        CTraceLog::Instance().Trace(300, L"%s: %s", kRun, GetCommandLineW());
        throw std::logic_error("CPatchRunner::RunPublicPatch: value of parameter /when");
    }
}

bool CPatchRunner::IgnorePatchesIfAsked()
{
    if (!m_commandLine->IsParamPresent(L"/ignore"))
        return false;
    CTraceLog& log = CTraceLog::Instance();
    log.Trace(500, L"%s: CMD has parameter %s", kRun, L"/ignore");
    std::wstring value;
    m_commandLine->GetParamValue(value, L"/ignore");
    if (value.empty())
        return false;
    if (value == L"all")
        m_catalogue->IgnoreAllPatches();
    else
        m_catalogue->IgnorePatches(value);
    log.Trace(500, L"%s: Config-ini updated.", kRun);
    return true;
}

void CPatchRunner::RunNow()
{
    if (m_commandLine->IsParamPresent(L"/uninstall"))
    {
        UninstallPublicPachesNow();
        return;
    }
    ReportEvent(kMessagePrepare);
    ApplyPublicPachesNow();
}

void CPatchRunner::RunAtReboot(CUsingOMX& service)
{
    CTraceLog& log = CTraceLog::Instance();
    if (m_commandLine->IsParamPresent(L"/uninstall"))
    {
        if (!IsAnyPatchToUninstallInstalled())
        {
            log.Trace(500, L"%s: Nothing to uninstall.", kRun);
            return;
        }
        CreateShutdownScript(m_modulePath);
    }
    else
    {
        StringList names;
        GetMSPNamesForRun(names);
        if (names.empty())
        {
            log.Trace(500, L"%s: Nothing to install.", kRun);
            return;
        }
        CreateShutdownScript(m_modulePath);
        ReportEvent(kMessageAtRestart);
    }
    service.SetStatusNeedRebootOS();
}

bool CPatchRunner::IsAnyPatchToUninstallInstalled() const
{
    std::wstring value;
    m_commandLine->GetParamValue(value, L"/uninstall");
    if (value == L"all")
        return true;
    StringList codes;
    SplitString(value, L';', codes);
    return std::any_of(codes.begin(), codes.end(), [this](const std::wstring& code) {
        return m_catalogue->IsPatchInstalled(code);
    });
}

void CPatchRunner::ReportEvent(DWORD kind)
{
    std::wstring text;
    m_messages.GetText(text, kind);
    CEventLog::Instance().Report(EVENTLOG_INFORMATION_TYPE, text);
}

void CPatchRunner::CreateShutdownScript(const std::wstring& modulePath)
{
    CTraceLog& log = CTraceLog::Instance();
    log.Trace(500, L"%s: Start", kDefer);
    std::wstring parameters = DeferredParameters(*m_commandLine);
    log.Trace(500, L"%s: Module path: %s", kDefer, modulePath.c_str());
    log.Trace(500, L"%s: Parameters: %s", kDefer, parameters.c_str());
    CShutdownScript(modulePath).Create(parameters.c_str());
    log.Trace(500, L"%s: Finish", kDefer);
}

void CPatchRunner::GetMSPNamesForRun(StringList& names)
{
    names.clear();
    CTraceLog& log = CTraceLog::Instance();
    if (!m_commandLine->IsParamPresent(L"/reinstall"))
    {
        log.Trace(500, L"Getting MSP from config");
        m_catalogue->GetMSPNamesToInstall(names);
        return;
    }
    std::wstring value;
    m_commandLine->GetParamValue(value, L"/reinstall");
    if (value == L"all")
    {
        log.Trace(500, L"Getting all available MSP");
        FindMSPFiles(m_patchesFolder, names);
        return;
    }
    log.Trace(500, L"Getting selected MSP");
    StringList codes;
    SplitString(value, L';', codes);
    m_catalogue->GetMSPNamesByGUIDs(codes, names);
}

void CPatchRunner::ApplyPublicPachesNow()
{
    CTraceLog& log = CTraceLog::Instance();
    StringList installedPublic;
    StringList installedPrivate;
    ReadInstalledHotfixes(installedPublic, installedPrivate);
    if (!installedPrivate.empty())
    {
        log.Trace(500, L"%d installed private patches found. Skipping installing public patch ... ",
                  static_cast<int>(installedPrivate.size()));
        return;
    }
    if (!installedPublic.empty())
    {
        log.Trace(500, L"The following public patches are installed:");
        for (const std::wstring& hotfix : installedPublic)
            log.Trace(500, L"patch '%s'", hotfix.c_str());
    }

    StringList chosen;
    ChoosePatches(installedPublic, chosen);
    log.Trace(500, L"%d total patches to install", static_cast<int>(chosen.size()));
    if (!chosen.empty())
    {
        DWORD exitCode =
            RunMsiexec(GetInstallCmdLine(chosen), kApply, "CPatchRunner::ApplyPublicPachesNow");
        log.Trace(500, L"MSIEXEC exit code: 0x%X", exitCode);
        if (!IsMsiexecSuccess(exitCode))
            throw std::logic_error(ErrorTextA("CPatchRunner::ApplyPublicPachesNow", exitCode));
        log.Trace(500, L"%s: Patches applied", kApply);
    }
    std::wstring text;
    m_messages.ComposeText(text, kMessageInstallSuccess, chosen);
    CEventLog::Instance().Report(EVENTLOG_INFORMATION_TYPE, text);
}

void CPatchRunner::ChoosePatches(const StringList& installedPublic, StringList& chosen)
{
    CTraceLog& log = CTraceLog::Instance();
    log.Trace(500, L"Checking patches to install");
    StringList names;
    GetMSPNamesForRun(names);
    for (const std::wstring& name : names)
    {
        std::wstring path = PatchFilePath(name);
        std::wstring description = GetMSPDescription(path.c_str());
        log.Trace(500, L"Checking patch '%s' with id '%s'", path.c_str(), description.c_str());
        std::wstring letter = PatchLetterFromDescription(description);
        if (IsPrivateLetter(letter))
        {
            chosen.push_back(name);
            log.Trace(500, L"Will install private patch '%s' with letter '%s'", name.c_str(),
                      letter.c_str());
            continue;
        }
        bool older = false;
        for (auto hotfix = installedPublic.begin(); !older && hotfix != installedPublic.end();
             ++hotfix)
        {
            log.Trace(500, L"Checking patch '%s' (size %d) against patch '%s' (size %d)",
                      letter.c_str(), static_cast<int>(letter.size()), hotfix->c_str(),
                      static_cast<int>(hotfix->size()));
            older = IsOlderLetter(letter, *hotfix);
        }
        if (older)
            continue;
        chosen.push_back(name);
        log.Trace(500, L"Will install public patch '%s' with letter '%s'", name.c_str(),
                  letter.c_str());
    }
}

void CPatchRunner::UninstallPublicPachesNow()
{
    std::wstring value;
    m_commandLine->GetParamValue(value, L"/uninstall");
    StringList codes;
    if (value == L"all")
        m_catalogue->GetInstalledPatchesGUIDs(codes);
    else
        SplitString(value, L';', codes);
    DWORD exitCode = RunMsiexec(GetUninstallCmdLine(codes), kUninstall,
                                "CPatchRunner::UninstallPublicPachesNow");
    if (!IsMsiexecSuccess(exitCode))
        throw std::logic_error(ErrorTextA("CPatchRunner::UninstallPublicPachesNow", exitCode));
    CTraceLog::Instance().Trace(500, L"%s: Patches uninstalled.", kUninstall);
}

std::wstring CPatchRunner::PatchFilePath(const std::wstring& name) const
{
    bool separated = m_patchesFolder.empty() || m_patchesFolder.back() == L'\\' ||
                     m_patchesFolder.back() == L'/';
    return m_patchesFolder + (separated ? L"" : L"\\") + name;
}

DWORD CPatchRunner::RunMsiexec(const std::wstring& commandLine, const wchar_t* operation,
                               const char* failureName) const
{
    DWORD exitCode = RunMsiexecOnce(commandLine, operation, failureName);
    for (int run = 1; exitCode == ERROR_INSTALL_ALREADY_RUNNING && run < kBusyRuns; ++run)
    {
        CTraceLog::Instance().Trace(300,
                                    L"%s: Another installation is in progress (run %d of %d). "
                                    L"Run msiexec again in %d seconds.",
                                    operation, run, kBusyRuns,
                                    static_cast<int>(kBusyWaitMilliseconds / 1000));
        m_wait(kBusyWaitMilliseconds);
        exitCode = RunMsiexecOnce(commandLine, operation, failureName);
    }
    return exitCode;
}

DWORD CPatchRunner::RunMsiexecOnce(const std::wstring& commandLine, const wchar_t* operation,
                                   const char* failureName) const
{
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    CTraceLog::Instance().Trace(500, L"%s: Run msiexec. CMD: %s", operation, buffer.data());
    PROCESS_INFORMATION started = {};
    DWORD status = CrtProc(buffer.data(), started, m_patchesFolder);
    if (status != ERROR_SUCCESS)
        throw std::logic_error(ErrorTextA(failureName, status));
    CKernelHandle process(started.hProcess);
    CKernelHandle thread(started.hThread);
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.Get(), &exitCode))
        exitCode = 0;
    return exitCode;
}

std::wstring CPatchRunner::MsiexecLogOption() const
{
    return L" /lv+* \"" + CTraceLog::Instance().GetTraceFolder() + L"ZAPatchMSI.log\"";
}

std::wstring CPatchRunner::GetInstallCmdLine(const StringList& files) const
{
    std::wstring line = L"msiexec.exe";
    if (!m_commandLine->IsParamPresent(L"/showui"))
        line += L" /qn";
    line += MsiexecLogOption() + L" /update \"" + JoinList(files, L";") + L"\" INSTALLONREBOOT=1";
    if (!m_commandLine->IsParamPresent(L"/noskipdrivers"))
        line += L" SKIPUNINSTALLDRIVERS=1 SKIPINSTALLDRIVERS=1";
    return line;
}

std::wstring CPatchRunner::GetUninstallCmdLine(const StringList& codes) const
{
    std::wstring line = L"msiexec.exe /package " + m_catalogue->GetProductCode() + L" /uninstall " +
                        JoinList(codes, L";") + MsiexecLogOption();
    if (!m_commandLine->IsParamPresent(L"/showui"))
        line += L" /qn";
    return line + L" INSTALLONREBOOT=1";
}
