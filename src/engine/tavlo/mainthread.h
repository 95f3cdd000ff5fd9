#pragma once

#include <functional>

// Runs work in the main thread and waits until it has run completely. Called from the main
// thread itself it just runs. The main thread must be running its event loop.
void RunInMainThread(const std::function<void()>& work);
