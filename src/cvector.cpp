#include "cvector.h"

#include <cmath>

// Sums of products are formed in double and rounded to float once.

CVector3 vcross(const CVector3& a, const CVector3& b)
{
    return CVector3(float(double(a.y) * b.z - double(a.z) * b.y),
                    float(double(a.z) * b.x - double(a.x) * b.z),
                    float(double(a.x) * b.y - double(a.y) * b.x));
}

float vmagnitude(const CVector3& v)
{
    float length = to_single(std::sqrt(squared_length(v)));
    return length == 0.0f ? 1.0f : length;
}

float vdot(const CVector3& a, const CVector3& b)
{
    return float(double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z);
}

void CVector3::cross(const CVector3& v) { *this = vcross(v, *this); }
float CVector3::magnitude() { return vmagnitude(*this); }
float CVector3::dot(const CVector3& v) { return vdot(*this, v); }
void CVector3::reset() { x = y = z = 0.0f; }

CVector3 CVector3::operator+(const CVector3& v) { return CVector3(x + v.x, y + v.y, z + v.z); }
CVector3 CVector3::operator+(float s) { return CVector3(x + s, y + s, z + s); }
CVector3 CVector3::operator-(const CVector3& v) { return CVector3(x - v.x, y - v.y, z - v.z); }
CVector3 CVector3::operator-(float s) { return CVector3(x - s, y - s, z - s); }
CVector3 CVector3::operator*(const CVector3& v) { return CVector3(x * v.x, y * v.y, z * v.z); }
CVector3 CVector3::operator*(float s) { return CVector3(x * s, y * s, z * s); }

CVector3 CVector3::operator+=(const CVector3& v) { *this = *this + v; return *this; }
CVector3 CVector3::operator+=(float s) { *this = *this + s; return *this; }
CVector3 CVector3::operator-=(const CVector3& v) { *this = *this - v; return *this; }
CVector3 CVector3::operator-=(float s) { *this = *this - s; return *this; }
CVector3 CVector3::operator*=(const CVector3& v) { *this = *this * v; return *this; }
CVector3 CVector3::operator*=(float s) { *this = *this * s; return *this; }
