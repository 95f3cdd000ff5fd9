#pragma once

#include <functional>

// Runs work(i) for i in [0, count) on up to the machine's number of cores; returns when all
// are done. work must not throw and must touch only what belongs to item i.
void ParallelFor(int count, const std::function<void(int)>& work);
