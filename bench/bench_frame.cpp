// The programs' frame path against its limits, under Xvfb and Mesa:
//
//   xvfb-run -a -s "-screen 0 1024x768x24" build/bench/bench_frame [--memory]
//
// In one run, interleaved in rounds so that a noisy machine hits all alike:
//   program   vornel_layered's frame: a fresh mesh, two passes, the swap;
//   renderer  the same state, textures and draws with one mesh built once;
//   floor     clear and swap alone.
// A fourth mode runs the program's frame with a glFinish before the swap,
// to split its time into generation, shift, draws and swap.
// --memory then runs 10,000 program frames and reports resident size and
// the allocations of one frame.
#include <GL/gl.h>
#include <SDL.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#include "frame_capture.h"
#include "main.h"
#include "vornel.h"

// Every operator new of the process, for counting a frame's allocations.
static size_t allocations = 0;
void* operator new(size_t size)
{
    allocations++;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

static double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

static SceneTextures textures;

static void program_frame()
{
    draw_layered_scene(SDL_GetTicks(), textures.organ, textures.veins);
    SDL_GL_SwapBuffers();
}

// Built once, at 5 s; the camera stays at the same instant, or it would
// leave the tube and see less of it.
static const Uint32 REUSED_TICKS = 5000;
static CVertexbuffer* reused_mesh;

static void renderer_frame()
{
    begin_frame(scene_time(REUSED_TICKS));
    reused_mesh->initialize();
    tissue_pass(reused_mesh, textures.organ);
    veins_pass(reused_mesh, textures.veins);
    end_frame();
    SDL_GL_SwapBuffers();
}

static void floor_frame()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapBuffers();
}

// Milliseconds of one frame's parts, summed over the frames measured.
struct Split {
    double generation = 0, shift = 0, draws = 0, swap = 0;
};
static Split split;

// The program's layered frame, step by step as draw_layered_scene takes
// it, with a glFinish so that the draws' time is not billed to the swap.
static void split_frame()
{
    Uint32 ticks = SDL_GetTicks();
    double T = scene_time(ticks);
    double t0 = now_ms();
    CVertexbuffer* mesh = make_tube(ticks, 8.0);
    double t1 = now_ms();
    begin_frame(T);
    mesh->initialize();
    tissue_pass(mesh, textures.organ);
    double t2 = now_ms();
    shift_overlay(mesh, T);
    double t3 = now_ms();
    veins_pass(mesh, textures.veins);
    end_frame();
    glFinish();
    double t4 = now_ms();
    delete mesh;
    double t5 = now_ms();
    SDL_GL_SwapBuffers();
    double t6 = now_ms();
    split.generation += (t1 - t0) + (t5 - t4);
    split.shift += t3 - t2;
    split.draws += (t2 - t1) + (t4 - t3);
    split.swap += t6 - t5;
}

static double frames_per_second(void (*frame)(), int frames)
{
    frame();  // not counted: first-use costs
    double start = now_ms();
    for (int i = 0; i < frames; i++)
        frame();
    return frames * 1000.0 / (now_ms() - start);
}

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

static long resident_kib()
{
    long pages = 0, resident = 0;
    if (FILE* f = fopen("/proc/self/statm", "r")) {
        if (fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

static void measure_memory()
{
    size_t before = allocations;
    program_frame();
    size_t per_frame = allocations - before;
    long start = resident_kib();
    for (int i = 1; i <= 10000; i++) {
        program_frame();
        if (i == 100)
            start = resident_kib();  // after the first frames settle
    }
    printf("\nmemory: %zu allocations per frame (the mesh and its five arrays: 6)\n", per_frame);
    printf("resident size after 100 frames: %ld KiB; after 10,000: %ld KiB (%+ld KiB)\n",
           start, resident_kib(), resident_kib() - start);
}

int main(int argc, char* argv[])
{
    bool memory = argc > 1 && !strcmp(argv[1], "--memory");
    keep_mesh_memory();  // as the programs do at start-up
    textures = open_capture_window(VORNEL_DATA_DIR);
    double T = scene_time(REUSED_TICKS);
    reused_mesh = make_tube(REUSED_TICKS, 8.0);
    shift_overlay(reused_mesh, T);

    const int rounds = 5, frames = 150;
    std::vector<double> program, renderer, floor, instrumented;
    for (int r = 0; r < rounds; r++) {
        program.push_back(frames_per_second(program_frame, frames));
        renderer.push_back(frames_per_second(renderer_frame, frames));
        floor.push_back(frames_per_second(floor_frame, frames * 4));
        split = Split();
        instrumented.push_back(frames_per_second(split_frame, frames));
    }
    double per_frame = 1.0 / (frames + 1);
    const char* scaling = getenv("SDL12COMPAT_OPENGL_SCALING");
    const SDL_version* sdl = SDL_Linked_Version();
    printf("%s, OpenGL %s; SDL %d.%d.%d\n", (const char*)glGetString(GL_RENDERER),
           (const char*)glGetString(GL_VERSION), sdl->major, sdl->minor, sdl->patch);
    printf("SDL12COMPAT_OPENGL_SCALING=%s; median of %d rounds, frames per second\n",
           scaling ? scaling : "(unset)", rounds);
    printf("%-30s %10.1f\n", "program (vornel_layered)", median(program));
    printf("%-30s %10.1f\n", "renderer limit (mesh reused)", median(renderer));
    printf("%-30s %10.1f\n", "window system floor", median(floor));
    printf("program / renderer limit: %.3f\n", median(program) / median(renderer));
    printf("program / floor: %.3f\n", median(program) / median(floor));
    printf("\nlast round's program frame with glFinish, ms per frame (%.1f fps):\n",
           instrumented.back());
    printf("%-30s %10.3f\n", "generation (and free)", split.generation * per_frame);
    printf("%-30s %10.3f\n", "texture-coordinate shift", split.shift * per_frame);
    printf("%-30s %10.3f\n", "draws (to glFinish)", split.draws * per_frame);
    printf("%-30s %10.3f\n", "swap", split.swap * per_frame);
    if (memory)
        measure_memory();
    return 0;
}
