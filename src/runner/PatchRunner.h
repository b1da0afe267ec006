#pragma once

#include "catalog/SharedTypes.h"
#include "diag/EventMessage.h"
#include "service/UsingOMX.h"

#include <memory>
#include <string>

class CCMDParser;
class CPatchManager;

// One run of the patch manager: from the parsed command line to installed or removed patches.
class CPatchRunner
{
  public:
    // Finds the product, creates its patches folder and builds the catalogue; throws. The wait
    // is the one between msiexec.exe runs while another installation is in progress.
    CPatchRunner(std::shared_ptr<CCMDParser> commandLine, const std::wstring& version, bool listing,
                 CUsingOMX::WaitFunction wait = &CUsingOMX::Sleep);

    // Carries out the one request of the command line: ignore, install or uninstall now, or
    // defer to the next shutdown and tell the service that a restart is needed.
    void RunPublicPatch(std::shared_ptr<CUsingOMX> service);

    // Registers the program as a shutdown script that repeats this run's request as "now".
    void CreateShutdownScript(const std::wstring& modulePath);

    // The patch files to install in this run: those asked for with /reinstall, or the new ones.
    void GetMSPNamesForRun(StringList& names);

    // Installs the run's patch files that are not older than the installed public hotfixes
    // with one msiexec.exe, and reports the installed ones; nothing while a private hotfix is in.
    void ApplyPublicPachesNow();

    // Removes the patches that /uninstall names ("all": every installed one) with one
    // msiexec.exe.
    void UninstallPublicPachesNow();

    std::wstring GetInstallCmdLine(const StringList& files) const;
    std::wstring GetUninstallCmdLine(const StringList& codes) const;

    const std::wstring& GetProductFolderPath() const { return m_productFolder; }
    const std::wstring& GetPatchesFolder() const { return m_patchesFolder; }
    const std::wstring& GetStateFilePath() const { return m_stateFilePath; }

  private:
    // True when /ignore had a value: the state file is then all this run changes.
    bool IgnorePatchesIfAsked();
    void RunNow();
    void RunAtReboot(CUsingOMX& service);
    bool IsAnyPatchToUninstallInstalled() const;
    void ReportEvent(DWORD kind);

    void ChoosePatches(const StringList& installedPublic, StringList& chosen);
    std::wstring PatchFilePath(const std::wstring& name) const;
    // Starts msiexec.exe in the patches folder and waits for it; runs it again a few times while
    // another installation is in progress. Throws when it cannot start.
    DWORD RunMsiexec(const std::wstring& commandLine, const wchar_t* operation,
                     const char* failureName) const;
    DWORD RunMsiexecOnce(const std::wstring& commandLine, const wchar_t* operation,
                         const char* failureName) const;
    std::wstring MsiexecLogOption() const;

    std::shared_ptr<CCMDParser> m_commandLine;
    bool m_listing;
    CUsingOMX::WaitFunction m_wait;
    std::wstring m_modulePath;
    CEventMessage m_messages;
    std::wstring m_productFolder;
    std::wstring m_patchesFolder;
    std::wstring m_stateFilePath;
    std::shared_ptr<CPatchManager> m_catalogue;
};

// The product's installation folder from "ProductRoot", always ending in a separator; throws.
std::wstring GetProductFolder();

// msiexec.exe's exit codes for success, also when a restart is needed or has been started.
bool IsMsiexecSuccess(DWORD exitCode);
