// Pango's font map keeps fontconfig's patterns and font sets cached for the
// life of the process; LeakSanitizer sees them at exit. They are not this
// program's leaks. Include once, in the test file of a program that draws text.
#pragma once

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
