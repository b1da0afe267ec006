#pragma once

#include "app/CMDParser.h"
#include "runner/PatchRunner.h"

#include <memory>

// A runner of version 1.0.0.72 for the command line, as the entry builds it.
inline CPatchRunner MakeRunner(const wchar_t* commandLine = L"",
                               CUsingOMX::WaitFunction wait = &CUsingOMX::Sleep)
{
    return CPatchRunner(std::make_shared<CCMDParser>(commandLine), L"1.0.0.72", true, wait);
}
