// Entry point of the link checks (src/CMakeLists.txt): a program that is linked, never run, so
// that a layer's code calling upward fails the build.
extern "C" void __stdcall LinkCheckEntry() {}
