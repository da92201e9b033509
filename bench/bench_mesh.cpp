// The tube generator at the scene's size against the memory floor of the
// same work: allocating, writing and releasing its five arrays.
//
//   build/bench/bench_mesh
#include "vornel.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
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

static void BM_init_vornel(benchmark::State& state)
{
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
BENCHMARK(BM_init_vornel);

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
BENCHMARK(BM_memory_floor);

// Prints generator / floor after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.benchmark_name() == "BM_init_vornel")
                generator_ = run.GetAdjustedRealTime();
            if (run.benchmark_name() == "BM_memory_floor")
                floor_ = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        if (generator_ > 0 && floor_ > 0)
            std::printf("generator / memory floor: %.2fx\n", generator_ / floor_);
    }

private:
    double generator_ = 0, floor_ = 0;
};

int main(int argc, char** argv)
{
    keep_mesh_memory();  // as the programs do at start-up
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
