#include "cvector.h"

#include <cmath>
#include <gtest/gtest.h>

static void expect_vector(CVector3 v, float x, float y, float z)
{
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

TEST(CVector3, IsThreePackedFloatsForOpenGLArrays)
{
    CVector3 a[2] = {CVector3(1, 2, 3), CVector3(4, 5, 6)};
    const float* f = &a[0].x;
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(f[i], float(i + 1));
}

TEST(CVector3, ArithmeticIsComponentWiseAndLeavesOperandsAlone)
{
    CVector3 a(1, 2, 3), b(4, 5, 6);
    expect_vector(a * b, 4, 10, 18);
    expect_vector(a + 1, 2, 3, 4);
    expect_vector(a - 1, 0, 1, 2);
    expect_vector(a * 2, 2, 4, 6);
    expect_vector(b - a, 3, 3, 3);
    expect_vector(a, 1, 2, 3);

    CVector3 returned = a += b;
    expect_vector(a, 5, 7, 9);
    expect_vector(returned, 5, 7, 9);
    returned = a *= 2;
    expect_vector(returned, 10, 14, 18);
    returned = a -= CVector3(10, 14, 18);
    expect_vector(returned, 0, 0, 0);

    a = 2.0f;
    expect_vector(a, 2, 2, 2);
    a.reset();
    expect_vector(a, 0, 0, 0);
    expect_vector(CVector3(), 0, 0, 0);
}

TEST(CVector3, CrossPutsItsArgumentOnTheLeft)
{
    CVector3 a(1, 0, 0), b(0, 1, 0);
    expect_vector(vcross(a, b), 0, 0, 1);
    a.cross(b);
    expect_vector(a, 0, 0, -1);
}

TEST(CVector3, MagnitudeAndNormalize)
{
    CVector3 v(3, 4, 0);
    EXPECT_EQ(v.magnitude(), 5.0f);
    EXPECT_EQ(vmagnitude(CVector3()), 1.0f);  // zero length reads as 1
    v.normalize();
    expect_vector(v, 0.6f, 0.8f, 0.0f);

    CVector3 down(0, -4, 0);
    vnormalize(down);
    expect_vector(down, 0, -1, 0);

    CVector3 zero;
    zero.normalize();  // no guard, by design
    EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z));
}

// Sums of products are formed in double and rounded once; float arithmetic
// rounds every product and loses the small terms.
TEST(CVector3, SumsOfProductsAreRoundedOnce)
{
    CVector3 big(1e8f, 1.0f, -1e8f), ones(1, 1, 1);
    EXPECT_EQ(vdot(big, ones), 1.0f);  // float: 0
    EXPECT_EQ(big.dot(ones), 1.0f);

    // (1 + 2^-12)² − 1 is 2^-11 + 2^-24 exactly; in float the square rounds
    // to 1 + 2^-11 first.
    float e = 1.0f + std::ldexp(1.0f, -12);
    CVector3 a(0, e, 1), b(0, 1, e);
    EXPECT_EQ(vcross(a, b).x, std::ldexp(1.0f, -11) + std::ldexp(1.0f, -24));
}
