// Every process global the program declares, saved when a test begins and put back when it ends,
// so that no test's run state, loaded-data slots or swapped system calls reach the next one.
// A fixture holds one as its first member: built before SetUp, destroyed after TearDown.
#pragma once
#include <functional>
#include <vector>

class ProcessGlobalsGuard {
public:
    ProcessGlobalsGuard();
    ~ProcessGlobalsGuard();
    ProcessGlobalsGuard(const ProcessGlobalsGuard&) = delete;
    ProcessGlobalsGuard& operator=(const ProcessGlobalsGuard&) = delete;

private:
    template <typename T>
    void Keep(T& global) {
        restore_.push_back([&global, saved = global] { global = saved; });
    }
    std::vector<std::function<void()>> restore_;
};
