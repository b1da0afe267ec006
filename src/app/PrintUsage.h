#pragma once

#include "app/ConsoleOutput.h"

// Enables the console and prints the usage text. Nothing waits for the Enter key it mentions.
void PrintUsage(CConsoleOutput& console);
