#include "bench/BenchFrame.h"
#include "bench/Benchmarks.h"
#include "process/OcclusionWindow.h"

#include <benchmark/benchmark.h>

using namespace umbrix::process;

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    // The literal passes first: the tool's rows report how many times faster they are.
    benchmark::RegisterBenchmark("LiteralRender", bench::LiteralRender)
        ->Apply(bench::literalSettings)
        ->Iterations(1)
        ->UseRealTime();
    benchmark::RegisterBenchmark("ToolRender", bench::ToolRender)
        ->Apply(bench::toolSettings)
        ->UseRealTime();
    benchmark::RegisterBenchmark("ToolOcclusion", bench::ToolOcclusion)
        ->Apply(bench::toolSettings)
        ->UseRealTime();
    benchmark::RegisterBenchmark("HostNewImage", bench::HostNewImage)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("HostRecordCopy", bench::HostRecordCopy)
        ->ArgName("threads")
        ->Arg(1)
        ->Arg(2)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    // The instruction set the runtime dispatch picked for the occlusion windows on this machine.
    benchmark::AddCustomContext("window instruction set", windowInstructionSet());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
