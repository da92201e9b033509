// Three single-precision floats: mesh positions, colours, normals, the camera.
#ifndef CVECTOR_H
#define CVECTOR_H

#include <type_traits>

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

    // Assignments return nothing, so they cannot be chained.
    void operator=(const CVector3& v);
    void operator=(float s);

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
void vnormalize(CVector3& v);
float vmagnitude(const CVector3& v);
float vdot(const CVector3& a, const CVector3& b);

#endif
