// Writes the demo's two bitmaps, organ.bmp (tissue) and veins.bmp (vessels
// on pure black), 256 × 256 at 24 bits, with SDL's own bitmap writer.
//
//   make_textures OUTPUT_DIR
//
// Deterministic: its own random numbers and only IEEE-exact arithmetic
// (+ − × ÷ and sqrt), so the same bitmaps come out byte for byte anywhere.
// Both tile seamlessly: every pattern wraps around the edges, because the
// tube repeats the tissue 32 times along and 8 times around.
#include <SDL.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

static const int SIZE = 256;  // texels, a power of two

// ---- Numbers ----------------------------------------------------------------

class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next()  // splitmix64
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return (next() >> 11) * (1.0 / 9007199254740992.0); }  // [0, 1)

private:
    uint64_t state_;
};

static double clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
static double smooth(double t) { return t * t * (3 - 2 * t); }
static double mix(double a, double b, double t) { return a + (b - a) * t; }
static int wrap(int i, int n) { return ((i % n) + n) % n; }

// Shortest offset from a to b on a circle of length SIZE.
static double torus_delta(double a, double b)
{
    double d = b - a;
    if (d > SIZE / 2.0)
        d -= SIZE;
    if (d < -SIZE / 2.0)
        d += SIZE;
    return d;
}

// ---- Tissue -----------------------------------------------------------------

// Value noise on a lattice of `period` cells across the tile, smoothly
// interpolated: periodic, so it tiles.
class ValueNoise {
public:
    ValueNoise(int period, Random& random) : period_(period), values_(period * period)
    {
        for (double& v : values_)
            v = random.uniform();
    }
    double at(double x, double y) const
    {
        double fx = x * period_ / SIZE, fy = y * period_ / SIZE;
        int ix = (int)std::floor(fx), iy = (int)std::floor(fy);
        double tx = smooth(fx - ix), ty = smooth(fy - iy);
        double top = mix(value(ix, iy), value(ix + 1, iy), tx);
        double bottom = mix(value(ix, iy + 1), value(ix + 1, iy + 1), tx);
        return mix(top, bottom, ty);
    }

private:
    double value(int ix, int iy) const { return values_[wrap(iy, period_) * period_ + wrap(ix, period_)]; }
    int period_;
    std::vector<double> values_;
};

// Cells: one jittered seed per grid square; distances to the nearest and
// second nearest seed, wrapping around the tile.
class Cells {
public:
    Cells(int grid, Random& random) : grid_(grid)
    {
        double cell = (double)SIZE / grid;
        for (int gy = 0; gy < grid; gy++)
            for (int gx = 0; gx < grid; gx++) {
                seeds_x_.push_back((gx + 0.15 + 0.7 * random.uniform()) * cell);
                seeds_y_.push_back((gy + 0.15 + 0.7 * random.uniform()) * cell);
            }
    }
    // Nearest and second-nearest distances, in cell widths.
    void distances(double x, double y, double& f1, double& f2) const
    {
        double cell = (double)SIZE / grid_;
        int gx = (int)(x / cell), gy = (int)(y / cell);
        double d1 = 1e9, d2 = 1e9;
        for (int oy = -2; oy <= 2; oy++)
            for (int ox = -2; ox <= 2; ox++) {
                int i = wrap(gy + oy, grid_) * grid_ + wrap(gx + ox, grid_);
                double dx = torus_delta(x, seeds_x_[i]), dy = torus_delta(y, seeds_y_[i]);
                double d = std::sqrt(dx * dx + dy * dy);
                if (d < d1) {
                    d2 = d1;
                    d1 = d;
                } else if (d < d2) {
                    d2 = d;
                }
            }
        f1 = d1 / cell;
        f2 = d2 / cell;
    }

private:
    int grid_;
    std::vector<double> seeds_x_, seeds_y_;
};

// Height of the tissue: swollen cells with sunken membranes between them,
// small cells on the large ones, and a soft mottle.
struct TissueHeight {
    Cells large, small;
    ValueNoise coarse, fine;
    explicit TissueHeight(Random& random)
        : large(6, random), small(16, random), coarse(4, random), fine(32, random) {}

    double cell_bulge(const Cells& cells, double x, double y) const
    {
        double f1, f2;
        cells.distances(x, y, f1, f2);
        return smooth(clamp01((f2 - f1) * 2.2));  // 0 on the membrane
    }
    double at(double x, double y) const
    {
        return 0.70 * cell_bulge(large, x, y) + 0.12 * cell_bulge(small, x, y) +
               0.12 * coarse.at(x, y) + 0.06 * fine.at(x, y);
    }
};

static double dot3(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

static void normalize3(double v[3])
{
    double length = std::sqrt(dot3(v, v));
    for (int i = 0; i < 3; i++)
        v[i] /= length;
}

static double power(double base, int exponent)
{
    double result = 1;
    for (int i = 0; i < exponent; i++)
        result *= base;
    return result;
}

// Moist, reddish-pink flesh: deep red in the creases, pink on the swellings,
// lit from the upper left with wet highlights.
static void paint_tissue(std::vector<double>& rgb)
{
    Random random(0x0DE5A11);
    TissueHeight height(random);
    ValueNoise blotch(8, random);

    std::vector<double> h(SIZE * SIZE);
    for (int y = 0; y < SIZE; y++)
        for (int x = 0; x < SIZE; x++)
            h[y * SIZE + x] = height.at(x + 0.5, y + 0.5);

    double light[3] = {-0.45, -0.55, 0.70};
    normalize3(light);
    double half[3] = {light[0], light[1], light[2] + 1};
    normalize3(half);

    for (int y = 0; y < SIZE; y++)
        for (int x = 0; x < SIZE; x++) {
            double here = h[y * SIZE + x];
            double dx = h[y * SIZE + wrap(x + 1, SIZE)] - h[y * SIZE + wrap(x - 1, SIZE)];
            double dy = h[wrap(y + 1, SIZE) * SIZE + x] - h[wrap(y - 1, SIZE) * SIZE + x];
            double normal[3] = {-dx * 4, -dy * 4, 1};
            normalize3(normal);
            double diffuse = std::max(0.0, dot3(normal, light));
            double shine = power(std::max(0.0, dot3(normal, half)), 48);

            double b = blotch.at(x, y);
            double crease[3] = {0.40, 0.05, 0.10};
            double flesh[3] = {0.93, 0.42 + 0.10 * b, 0.47 + 0.06 * b};
            double t = smooth(clamp01(here * 1.15));
            double* out = &rgb[3 * (y * SIZE + x)];
            for (int c = 0; c < 3; c++) {
                double base = mix(crease[c], flesh[c], t);
                out[c] = clamp01(base * (0.30 + 0.80 * diffuse) + 0.55 * shine * (c == 0 ? 1.0 : 0.88));
            }
        }
}

// ---- Veins ------------------------------------------------------------------

struct Vessel {
    double x, y, dx, dy, radius;
};

// Turns a unit direction by a small angle (radians), with the series for
// sine and cosine and a renormalisation: no library trigonometry.
static void turn(Vessel& v, double angle)
{
    double c = 1 - angle * angle / 2, s = angle - angle * angle * angle / 6;
    double dx = v.dx * c - v.dy * s, dy = v.dx * s + v.dy * c;
    double length = std::sqrt(dx * dx + dy * dy);
    v.dx = dx / length;
    v.dy = dy / length;
}

// A round vessel cross-section: the distance to the centre line shades it
// like a lit tube. Keeps the strongest value per texel.
static void stamp(std::vector<double>& shade, std::vector<double>& width, const Vessel& v)
{
    int reach = (int)std::ceil(v.radius) + 1;
    for (int oy = -reach; oy <= reach; oy++)
        for (int ox = -reach; ox <= reach; ox++) {
            int px = wrap((int)std::floor(v.x) + ox, SIZE), py = wrap((int)std::floor(v.y) + oy, SIZE);
            double ddx = torus_delta(v.x, px + 0.5), ddy = torus_delta(v.y, py + 0.5);
            double d = std::sqrt(ddx * ddx + ddy * ddy);
            if (d >= v.radius)
                continue;
            double across = d / v.radius;
            double s = std::sqrt(1 - across * across);
            int i = py * SIZE + px;
            if (s > shade[i]) {
                shade[i] = s;
                width[i] = v.radius;
            }
        }
}

static void grow(std::vector<double>& shade, std::vector<double>& width, Vessel v,
                 Random& random, int depth)
{
    while (v.radius > 0.7) {
        stamp(shade, width, v);
        turn(v, (random.uniform() - 0.5) * 0.35);
        v.x += v.dx * 0.8;
        v.y += v.dy * 0.8;
        v.radius *= 0.9975;
        if (depth < 4 && random.uniform() < 0.014) {
            Vessel branch = v;
            branch.radius = v.radius * (0.55 + 0.2 * random.uniform());
            turn(branch, (random.uniform() < 0.5 ? -1 : 1) * (0.5 + 0.4 * random.uniform()));
            v.radius *= 0.88;
            grow(shade, width, branch, random, depth + 1);
        }
    }
}

// Branching vessels, dark red to violet, on pure black. Every vessel texel
// keeps a channel above zero, so only the background becomes transparent.
static void paint_veins(std::vector<double>& rgb)
{
    Random random(0x7E1A5);
    std::vector<double> shade(SIZE * SIZE, 0), width(SIZE * SIZE, 0);
    for (int trunk = 0; trunk < 4; trunk++) {
        Vessel v = {random.uniform() * SIZE, random.uniform() * SIZE, 1, 0, 3.2 + 1.6 * random.uniform()};
        turn(v, random.uniform() * 6);  // any starting direction
        turn(v, random.uniform() * 6);
        grow(shade, width, v, random, 0);
    }
    for (int i = 0; i < SIZE * SIZE; i++) {
        double* out = &rgb[3 * i];
        if (shade[i] <= 0) {
            out[0] = out[1] = out[2] = 0;
            continue;
        }
        double thin = clamp01((4.5 - width[i]) / 4.0);  // small vessels bluer
        double light = 0.35 + 0.65 * shade[i];
        out[0] = std::max(8 / 255.0, light * mix(0.62, 0.38, thin) + 0.18 * power(shade[i], 8));
        out[1] = light * mix(0.05, 0.08, thin) + 0.10 * power(shade[i], 8);
        out[2] = light * mix(0.16, 0.42, thin) + 0.14 * power(shade[i], 8);
    }
}

// ---- Writing ----------------------------------------------------------------

static bool save(const std::vector<double>& rgb, const std::string& path)
{
    SDL_Surface* surface = SDL_CreateRGBSurface(SDL_SWSURFACE, SIZE, SIZE, 24,
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
                                                0xFF0000, 0x00FF00, 0x0000FF, 0);
#else
                                                0x0000FF, 0x00FF00, 0xFF0000, 0);
#endif
    if (!surface)
        return false;
    for (int y = 0; y < SIZE; y++) {
        Uint8* row = (Uint8*)surface->pixels + y * surface->pitch;
        for (int x = 0; x < SIZE; x++) {
            const double* c = &rgb[3 * (y * SIZE + x)];
            row[3 * x + 0] = (Uint8)(c[2] * 255 + 0.5);  // blue, green, red
            row[3 * x + 1] = (Uint8)(c[1] * 255 + 0.5);
            row[3 * x + 2] = (Uint8)(c[0] * 255 + 0.5);
        }
    }
    bool saved = SDL_SaveBMP(surface, path.c_str()) == 0;
    SDL_FreeSurface(surface);
    return saved;
}

int main(int argc, char* argv[])
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_textures OUTPUT_DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    std::vector<double> tissue(3 * SIZE * SIZE), veins(3 * SIZE * SIZE);
    paint_tissue(tissue);
    paint_veins(veins);
    if (!save(tissue, dir + "/organ.bmp") || !save(veins, dir + "/veins.bmp")) {
        fprintf(stderr, "make_textures: %s\n", SDL_GetError());
        return 1;
    }
    return 0;
}
