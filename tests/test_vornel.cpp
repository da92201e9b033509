#include "mesh_reference.h"
#include "vornel.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <new>
#include <random>
#include <set>
#include <string>
#include <vector>

static std::unique_ptr<CVertexbuffer> generate(const TubeArguments& a)
{
    return std::unique_ptr<CVertexbuffer>(init_vornel(
        a.rings, a.bands, a.radius, a.curl_radius, a.ring_fold_phase, a.ring_fold_amp,
        a.ring_folds, a.band_fold_phase, a.band_fold_amp, a.band_folds, a.spin_speed,
        a.ticks, a.u_offset, a.u_repeat, a.v_repeat));
}

// Runs body once on every path this CPU runs, then goes back to
// init_vornel's own choice, pass or fail.
template <typename Body> static void on_every_path(Body body)
{
    struct Restore {
        const char* chosen = mesh_path();
        ~Restore() { use_mesh_path(chosen); }
    } restore;
    for (const char* path : mesh_paths()) {
        SCOPED_TRACE(std::string("path ") + path);
        ASSERT_TRUE(use_mesh_path(path));
        ASSERT_STREQ(mesh_path(), path);
        body();
    }
}

// The scene's shape with the time-dependent arguments given.
static TubeArguments scene(float ticks, float ring_fold_amp, float band_fold_amp, float u_offset)
{
    return {128, 64, 3.5f, 2.8f, 0.02f, ring_fold_amp, 16, 0.02f, band_fold_amp, 7,
            0.03f, ticks, u_offset, 32, 8};
}

static TubeArguments at_rest() { return scene(0, 0, 0, 0); }

static std::vector<GLuint> index_list(const CVertexbuffer& m)
{
    return std::vector<GLuint>(m.indices, m.indices + 3 * m.num_faces);
}

TEST(TubePaths, PlainLoopsFirstWidestChosen)
{
    std::vector<const char*> paths = mesh_paths();
    ASSERT_FALSE(paths.empty());
    EXPECT_STREQ(paths.front(), "scalar");
    EXPECT_STREQ(mesh_path(), paths.back());
#if defined(__x86_64__)
    ASSERT_GE(paths.size(), 2u);
    EXPECT_STREQ(paths[1], "sse2");  // part of every x86-64
#endif
    EXPECT_FALSE(use_mesh_path("mmx"));
    EXPECT_STREQ(mesh_path(), paths.back());
}

static void expect_scene_indices()
{
    auto mesh = generate(at_rest());
    EXPECT_EQ(mesh->num_vertices, 8320);
    EXPECT_EQ(mesh->num_faces, 16640);
    EXPECT_EQ(mesh->primitive, (GLenum)GL_TRIANGLES);

    std::vector<GLuint> list = index_list(*mesh);
    std::set<GLuint> used(list.begin(), list.end());
    EXPECT_EQ(*used.rbegin(), 8257u);
    EXPECT_EQ(used.size(), 8258u);  // 0 to 8257, every one of them

    // Ring stride 64 with 65 quads a ring: bases 64, 128, … 8128 end one
    // ring and start the next, so each stands twice in a row.
    std::vector<int> repeated;
    for (int quad = 1; quad < 128 * 65; quad++)
        if (std::equal(&list[6 * quad], &list[6 * quad + 6], &list[6 * (quad - 1)]))
            repeated.push_back(list[6 * quad + 2]);  // i3 is the base
    ASSERT_EQ(repeated.size(), 127u);
    for (int r = 0; r < 127; r++)
        EXPECT_EQ(repeated[r], 64 * (r + 1));
}

TEST(TubeIndices, SceneSizeCountsAndUnreferencedVertices)
{
    on_every_path(expect_scene_indices);
}

TEST(TubeIndices, SmallMeshesWrapThroughTheModulo)
{
    TubeArguments a = at_rest();
    a.rings = 2;
    a.bands = 2;
    EXPECT_EQ(index_list(*generate(a)),
              (std::vector<GLuint>{3, 2, 0, 0, 1, 3, 4, 3, 1, 1, 2, 4, 5, 4, 2, 2, 3, 5,
                                   5, 4, 2, 2, 3, 5, 0, 5, 3, 3, 4, 0, 1, 0, 4, 4, 5, 1}));
    a.rings = 1;
    a.bands = 3;
    EXPECT_EQ(index_list(*generate(a)),
              (std::vector<GLuint>{0, 3, 0, 0, 1, 0, 1, 0, 1, 1, 2, 1,
                                   2, 1, 2, 2, 3, 2, 3, 2, 3, 3, 0, 3}));
}

// The index list read literally from its definition: quad (r, s) at base
// r × B + s is (i1, i2, i3), (i3, i4, i1), each taken modulo N.
static void expect_quad_pattern()
{
    for (auto [rings, bands] : {std::pair{5, 3}, std::pair{3, 7}, std::pair{4, 300}, std::pair{130, 1},
                                std::pair{40, 2}, std::pair{128, 64}}) {
        TubeArguments a = at_rest();
        a.rings = rings;
        a.bands = bands;
        std::vector<GLuint> got = index_list(*generate(a));
        uint32_t n = rings * (bands + 1), B = bands;
        std::vector<GLuint> want;
        for (uint32_t r = 0; r < (uint32_t)rings; r++)
            for (uint32_t s = 0; s <= B; s++) {
                uint32_t base = r * B + s;
                uint32_t i1 = (base + B + 1) % n, i2 = (base + B) % n, i3 = base % n, i4 = (base + 1) % n;
                want.insert(want.end(), {i1, i2, i3, i3, i4, i1});
            }
        EXPECT_EQ(got, want) << rings << " x " << bands;
    }
}

TEST(TubeIndices, EverySizeFollowsTheQuadPattern)
{
    on_every_path(expect_quad_pattern);
}

TEST(TubeMesh, NoRingsGiveAnEmptyMesh)
{
    TubeArguments a = at_rest();
    a.rings = 0;
    auto mesh = generate(a);
    EXPECT_EQ(mesh->num_vertices, 0);
    EXPECT_EQ(mesh->num_faces, 0);
    EXPECT_EQ(mesh->primitive, (GLenum)GL_TRIANGLES);
    EXPECT_NE(mesh->vertices, nullptr);
    EXPECT_NE(mesh->indices, nullptr);
}

TEST(TubeMesh, CountsTooLargeForTheBufferAreRefusedBeforeAnyWrite)
{
    TubeArguments a = at_rest();
    a.rings = -1;
    EXPECT_THROW(generate(a), std::bad_alloc);
    a.rings = 65536;  // 65536 × 65536 vertices: N is 0 in 32 bits
    a.bands = 65535;
    EXPECT_THROW(generate(a), std::bad_alloc);
}

TEST(TubeVertices, FirstVertexAtRest)
{
    TubeArguments a = at_rest();
    a.u_offset = 0.75f;
    auto mesh = generate(a);
    const CVector3& v = mesh->vertices[0];
    EXPECT_EQ(v.x, 2.8f + 3.5f);  // curl_radius + radius
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_EQ(v.z, 15.0f);
    EXPECT_EQ(mesh->normals[0].x, -1.0f);
    EXPECT_EQ(mesh->normals[0].y, 0.0f);
    EXPECT_EQ(mesh->normals[0].z, 0.0f);
    EXPECT_EQ(mesh->colors[0].x, 1.0f);
    EXPECT_EQ(mesh->colors[0].y, 1.0f);
    EXPECT_EQ(mesh->colors[0].z, 1.0f);
    EXPECT_EQ(mesh->texcoords[0], 0.75f);
    EXPECT_EQ(mesh->texcoords[1], 0.0f);
}

TEST(TubeVertices, SeamRepeatsBandZeroWithTheLastTextureCoordinate)
{
    auto mesh = generate(scene(5000, 0.01f, 0.1f, 1.0f));
    for (int k = 0; k < 128; k += 31) {
        const CVector3& first = mesh->vertices[k * 65];
        const CVector3& seam = mesh->vertices[k * 65 + 64];
        EXPECT_EQ(mesh->texcoords[2 * (k * 65 + 64) + 1], 8.0f);
        float gap = std::hypot(seam.x - first.x, seam.y - first.y);
        // 2 × 3.141593 overshoots 2π by about 5e-7 radians.
        EXPECT_GT(gap, 0.0f) << "ring " << k;
        EXPECT_LT(gap, 1e-5f) << "ring " << k;
    }
}

TEST(TubeVertices, EachRingHasItsDepthAndGreyWhateverTheShape)
{
    auto mesh = generate(scene(123456, 0.05f, -0.12f, 7.5f));
    for (int k = 0; k < 128; k++)
        for (int l = 0; l <= 64; l++) {
            int j = k * 65 + l;
            ASSERT_EQ(mesh->vertices[j].z, float(15 - k));
            float grey = float(128 - k) / 128.0f;  // exact in binary
            ASSERT_EQ(mesh->colors[j].x, grey);
            ASSERT_EQ(mesh->colors[j].y, grey);
            ASSERT_EQ(mesh->colors[j].z, grey);
        }
    EXPECT_EQ(mesh->colors[127 * 65].x, 1.0f / 128);
}

static bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Every stored float, bit for bit, against the reference.
static void expect_matches_reference(const TubeArguments& a)
{
    auto mesh = generate(a);
    int mismatches = 0;
    for (int k = 0; k < a.rings; k++)
        for (int l = 0; l <= a.bands; l++) {
            int j = k * (a.bands + 1) + l;
            ReferenceVertex r = reference_vertex(a, k, l);
            const float got[11] = {mesh->vertices[j].x, mesh->vertices[j].y, mesh->vertices[j].z,
                                   mesh->normals[j].x,  mesh->normals[j].y,  mesh->normals[j].z,
                                   mesh->colors[j].x,   mesh->colors[j].y,
                                   mesh->texcoords[2 * j], mesh->texcoords[2 * j + 1],
                                   mesh->colors[j].z};
            const float want[11] = {r.position[0], r.position[1], r.position[2], r.normal[0],
                                    r.normal[1],   r.normal[2],   r.grey,        r.grey,
                                    r.u,           r.v,           r.grey};
            for (int i = 0; i < 11; i++)
                if (!same_bits(got[i], want[i]) && ++mismatches <= 5)
                    ADD_FAILURE() << "vertex " << j << " (ring " << k << ", band " << l
                                  << ") value " << i << ": " << got[i] << " != " << want[i];
        }
    EXPECT_EQ(mismatches, 0);
}

TEST(TubeVertices, EveryStoredValueMatchesTheReferenceBitForBit)
{
    on_every_path([] {
        expect_matches_reference(at_rest());
        // The scene's arguments 5 s and 60 s in, and past 2^24 ms where ticks
        // as a float moves in steps of 2 ms.
        expect_matches_reference(scene(5000, 0.0020504f, 0.14931f, 9.375f));
        expect_matches_reference(scene(60000, 0.0245543f, -0.0357f, 112.5f));
        expect_matches_reference(scene(16777218, -0.06999f, 0.1001f, 3932.16f));
        // Strong folds, few bands, a phase: terms the scene keeps small.
        TubeArguments odd = {37, 5, 2.25f, 1.7f, 0.4f, 0.3f, 5, -1.1f, 0.45f, 3,
                             0.011f, 987.0f, -2.5f, 3, 2};
        expect_matches_reference(odd);
        TubeArguments wide = {3, 300, 3.5f, 2.8f, 0.02f, 0.05f, 16, 0.02f, 0.1f, 7,
                              0.03f, 4321.0f, 1.5f, 32, 8};  // more bands than one pass holds
        expect_matches_reference(wide);
    });
}

// Ring widths around every vector width, with the remainder written by the
// plain loop, and shapes far from the scene's.
TEST(TubeVertices, RandomShapesMatchTheReferenceBitForBit)
{
    std::mt19937 random(12);  // fixed: the same shapes every run
    std::uniform_int_distribution<int> count(1, 40), folds(-9, 9), repeat(-4, 40);
    std::uniform_real_distribution<float> length(0.0f, 8.0f), amplitude(-0.9f, 0.9f),
        phase(-7.0f, 7.0f), time(0.0f, 3.0e7f), offset(-500.0f, 500.0f);
    std::vector<TubeArguments> shapes;
    for (int i = 0; i < 500; i++)
        shapes.push_back({count(random), count(random), length(random), length(random),
                          phase(random), amplitude(random), folds(random), phase(random),
                          amplitude(random), folds(random), amplitude(random), time(random),
                          offset(random), repeat(random), repeat(random)});
    on_every_path([&] {
        for (const TubeArguments& a : shapes)
            expect_matches_reference(a);
    });
}

// A tube of radius 0 puts every vertex on its ring's centre: the normal has
// no direction and is NaN, as CVector3::normalize makes it.
TEST(TubeVertices, ZeroRadiusGivesTheSameNaNNormalsOnEveryPath)
{
    TubeArguments thin = scene(5000, 0, 0.1f, 1.0f);
    thin.radius = 0;
    on_every_path([&] {
        expect_matches_reference(thin);
        EXPECT_TRUE(std::isnan(generate(thin)->normals[17].x));
    });
}
