// Whole runs of the program in process (RunUninstaller), as the fault injection and the loader's
// fuzzing make them over the test's fakes.
#pragma once
#include <string>

// Why a whole run would not be the run the test means, or empty when it would be: the run selects
// the platform afresh, which on the narrow table replaces the test's fakes, and it reads this test
// program's command line, where a /D would start a removal in earnest and /Q, /S or /X change it.
std::string WholeRunRefusal();
