// Test helper: exits with the engine's OS version code, so that a test can
// run it under a Windows version chosen for this executable's name alone.
#include "platform/system_queries.h"

int main() { return platform::GetOsVersionCode(nullptr); }
