#pragma once

#include "app/CMDParser.h"

#include <string>

// The parameters of the run deferred to the next shutdown: every option of this command line,
// with "now" for /when, and /clean at the end, so that the deferred run removes its own
// registration first. Its parser gets back exactly this run's options.
std::wstring DeferredParameters(const CCMDParser& commandLine);
