#pragma once

#include <stdexcept>
#include <string>

// The text of the failure the call throws, or "no failure".
template <typename Call> std::string FailureOf(Call call)
{
    try
    {
        call();
    }
    catch (const std::logic_error& failure)
    {
        return failure.what();
    }
    return "no failure";
}
