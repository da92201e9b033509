// The tube generator at the scene's size, on each path this CPU runs,
// against the memory floor of the same work: allocating, writing and
// releasing its five arrays.
//
//   build/bench/bench_mesh
#include "vornel.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>
#include <sys/resource.h>

// Minor page faults of the process so far: fresh pages the kernel had to
// map, which is what a trimmed heap costs every frame.
static double page_faults()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return (double)usage.ru_minflt;
}

static void count_page_faults(benchmark::State& state, double before)
{
    state.counters["faults"] =
        benchmark::Counter(page_faults() - before, benchmark::Counter::kAvgIterations);
}

static void BM_init_vornel(benchmark::State& state, const char* path)
{
    use_mesh_path(path);
    float ticks = 5000;
    double faults = page_faults();
    for (auto _ : state) {
        CVertexbuffer* mesh = init_vornel(128, 64, 3.5f, 2.8f, 0.02f, 0.0020504f, 16, 0.02f,
                                          0.14931f, 7, 0.03f, ticks, 9.375f, 32, 8);
        benchmark::DoNotOptimize(mesh->vertices);
        benchmark::ClobberMemory();
        delete mesh;
        ticks += 16;
    }
    count_page_faults(state, faults);
}

// 8,320 vertices: three float triples, a float pair and six indices each.
template <typename T> static T* allocate_and_write(size_t count)
{
    T* array = new T[count];
    std::memset(static_cast<void*>(array), 1, count * sizeof(T));
    benchmark::DoNotOptimize(array);
    return array;
}

static void BM_memory_floor(benchmark::State& state)
{
    const size_t n = 8320;
    double faults = page_faults();
    for (auto _ : state) {
        auto* vertices = allocate_and_write<CVector3>(n);
        auto* colors = allocate_and_write<CVector3>(n);
        auto* normals = allocate_and_write<CVector3>(n);
        auto* texcoords = allocate_and_write<float>(2 * n);
        auto* indices = allocate_and_write<GLuint>(6 * n);
        benchmark::ClobberMemory();
        delete[] vertices;
        delete[] colors;
        delete[] normals;
        delete[] texcoords;
        delete[] indices;
    }
    count_page_faults(state, faults);
}
// Five repetitions each; the ratios are of their medians, so that one slow
// stretch of a shared machine does not make a ratio.
const int REPETITIONS = 5;
BENCHMARK(BM_memory_floor)->Repetitions(REPETITIONS)->ReportAggregatesOnly(true);

// Prints each path's generator / floor after the table, from the medians'
// CPU time: on a shared machine the wall clock also counts the time other
// processes held the core.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median")
                continue;
            std::string name = run.run_name.function_name;
            if (name == "BM_memory_floor")
                floor_ = run.GetAdjustedCPUTime();
            else
                generators_.emplace_back(name, run.GetAdjustedCPUTime());
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const auto& [name, time] : generators_)
            if (floor_ > 0)
                std::printf("%s / memory floor: %.2fx\n", name.c_str(), time / floor_);
    }

private:
    std::vector<std::pair<std::string, double>> generators_;
    double floor_ = 0;
};

int main(int argc, char** argv)
{
    keep_mesh_memory();  // as the programs do at start-up
    const char* chosen = mesh_path();
    for (const char* path : mesh_paths())
        benchmark::RegisterBenchmark((std::string("BM_init_vornel/") + path).c_str(),
                                     BM_init_vornel, path)
            ->Repetitions(REPETITIONS)
            ->ReportAggregatesOnly(true);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("init_vornel's own choice on this CPU: %s\n", chosen);
    benchmark::Shutdown();
}
