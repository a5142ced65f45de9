// main() of every benchmark binary: the tile manager lives for the whole run.

#include "VQTileManager64.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    VQTileManager64::InitInstance(false);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    VQTileManager64::ReleaseInstance();
    return 0;
}
