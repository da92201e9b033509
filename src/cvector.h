// Three single-precision floats: mesh positions, colours, normals, the camera.
#ifndef CVECTOR_H
#define CVECTOR_H

#include <cmath>
#include <type_traits>

#include "rounding.h"

class CVector3 {
public:
    float x, y, z;

    CVector3() : x(0), y(0), z(0) {}
    CVector3(float x, float y, float z) : x(x), y(y), z(z) {}
    CVector3(const CVector3& v) = default;

    // Replaces this vector by v × this: the argument stands on the left.
    void cross(const CVector3& v);
    void normalize();
    float magnitude();
    float dot(const CVector3& v);
    void reset();

    // Assignments return nothing, so they cannot be chained. Defined here:
    // the tube generator makes three of them per vertex.
    void operator=(const CVector3& v)
    {
        x = v.x;
        y = v.y;
        z = v.z;
    }
    void operator=(float s) { x = y = z = s; }

    CVector3 operator+(const CVector3& v);
    CVector3 operator+(float s);
    CVector3 operator-(const CVector3& v);
    CVector3 operator-(float s);
    CVector3 operator*(const CVector3& v);  // component by component
    CVector3 operator*(float s);

    CVector3 operator+=(const CVector3& v);
    CVector3 operator+=(float s);
    CVector3 operator-=(const CVector3& v);
    CVector3 operator-=(float s);
    CVector3 operator*=(const CVector3& v);
    CVector3 operator*=(float s);
};

// OpenGL reads arrays of CVector3 as packed float triples with stride 0.
static_assert(sizeof(CVector3) == 3 * sizeof(float), "CVector3 must be three packed floats");
static_assert(std::is_standard_layout<CVector3>::value, "CVector3 must keep C layout");

CVector3 vcross(const CVector3& a, const CVector3& b);

// The sum of squares, in double, not rounded.
inline double squared_length(const CVector3& v)
{
    return double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z;
}

// Defined here because the tube generator normalises every vertex normal.
// No guard for the zero vector, which becomes NaN.
inline void vnormalize(CVector3& v)
{
    float length = to_single(std::sqrt(squared_length(v)));
    float reciprocal = 1.0f / length;
    v.x *= reciprocal;
    v.y *= reciprocal;
    v.z *= reciprocal;
}
inline void CVector3::normalize() { vnormalize(*this); }

float vmagnitude(const CVector3& v);
float vdot(const CVector3& a, const CVector3& b);

#endif
