// The bench's figure for quarvel-check log: its time and peak memory on a
// 100 MB log made of lines the library wrote.
#ifndef QUARVEL_TOOLS_BENCH_LOGREADING_H
#define QUARVEL_TOOLS_BENCH_LOGREADING_H

#include <string>
#include <vector>

namespace bench {

// Drives each DLL through a few calls for the lines of installDir's log (the
// install path already set), repeats that log to 100 MB, reads it with
// quarvel-check log and prints one line. False when it could not run.
bool BenchLogReading(const std::vector<std::string>& dlls, const std::string& installDir);

}  // namespace bench

#endif
