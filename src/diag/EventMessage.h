#pragma once

#include "catalog/SharedTypes.h"

#include <windows.h>

#include <string>

// Kinds of event texts; larger numbers select no phrase.
enum EventMessageKind : DWORD
{
    kMessagePrepare = 0,
    kMessageAtRestart = 1,
    kMessageInstallSuccess = 2,
    kMessageInstallFail = 3,
};

// Event-log texts from the product's localization file, or from built-in English phrases when
// that file yields nothing.
class CEventMessage
{
  public:
    explicit CEventMessage(const std::wstring& version);

    // The version line, the phrase of the kind and each line, every part ended by a line feed.
    void ComposeText(std::wstring& text, DWORD kind, const StringList& lines);
    void GetText(std::wstring& text, DWORD kind);

  private:
    void LoadLocalizedPhrases();

    std::wstring m_version;
    SectionMap m_phrases;
};
