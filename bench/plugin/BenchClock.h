// Timing for the plugin benchmarks: the performance counter in seconds and
// the median of a round's samples.
#pragma once

#include <vector>

double Now();
double Median(std::vector<double> samples);
