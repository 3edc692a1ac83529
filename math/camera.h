// The one current camera and its perspective projection.
//
// A scene places the camera with setCamera (or setCameraView) and then calls
// updateCamera, which rebuilds every matrix; projectToClip then maps world
// points into homogeneous clip space, where the visible volume is
// −w ≤ x ≤ w, −w ≤ y ≤ w, −w ≤ z ≤ 0 (z = 0 on the near plane, z = −w on the
// far plane, w = 1 on the far plane). Clip space has the shape the camera's
// aspect gives it: 4:3 for the board's fixed modes, the window's own shape
// when frames are drawn at the window's size.
#pragma once

#include "math/matrix.h"
#include "math/vector.h"

struct Camera {
  Vector3 eye;
  Vector3 target;
  Vector3 up;             // stored normalised
  float zoom;             // centre of projection lies zoom units behind the eye; cot(half vertical fov)
  float nearZ;            // view depth of the near plane, from the eye
  float farZ;             // view depth of the far plane
  int changed;            // 1 after setCamera/setCameraView, 0 after updateCamera
  Matrix4 LookAt;         // world axes to view axes
  Matrix4 View;           // translation(0, 0, zoom) · LookAt · translation(−eye)
  Matrix4 Perspective;    // depth mapping
  Matrix4 ViewToClip;     // Perspective · scaling(CameraScaleX, CameraScaleY, CameraScaleZ)
  Matrix4 ViewProjection; // ViewToClip · View: world to clip space
  float CameraScaleX;     // CameraAspect·zoom/(zoom + farZ)
  float CameraScaleY;     // zoom/(zoom + farZ)
  float CameraScaleZ;     // −1/(zoom + farZ)
};

extern Camera CurrentCamera;

// Height over width of the picture the camera projects onto: 0.75 for the
// 4:3 modes. Changed only when the render size changes, by setCameraAspect.
extern float CameraAspect;
// Sets CameraAspect (anything not above 0 goes back to 0.75) and marks the
// camera changed, so that the next updateCamera uses it.
void setCameraAspect(float heightOverWidth);

// Shared names for the camera state the scenes read. ViewProjection may be
// replaced by ViewProjection · M (a model matrix) after updateCamera; the next
// updateCamera overwrites it. A billboard of half-size h around a clip position
// (x, y, z, w) has its corners at x ± h·CameraScaleX, y ± h·CameraScaleY.
inline Matrix4 &ViewProjection = CurrentCamera.ViewProjection;
inline float &CameraScaleX = CurrentCamera.CameraScaleX;
inline float &CameraScaleY = CurrentCamera.CameraScaleY;
inline float &CameraScaleZ = CurrentCamera.CameraScaleZ;

// Stores all six values (up normalised in the stored copy); matrices are not rebuilt.
void setCamera(const Vector3 &eye, const Vector3 &target, const Vector3 &up, float zoom, float nearZ,
               float farZ);
// As setCamera for the three vectors only.
void setCameraView(const Vector3 &eye, const Vector3 &target, const Vector3 &up);
void getCameraView(Vector3 &eye, Vector3 &target, Vector3 &up);
bool cameraChanged();
// Rebuilds LookAt, View, the scale factors, Perspective, ViewToClip and ViewProjection.
void updateCamera();
// Rows s = up × f, u = f × s (neither normalised), f = normalised target − eye.
void buildLookAtMatrix(Matrix4 &out);
void buildPerspectiveMatrix(Matrix4 &out);
// out = p − eye
void cameraRelative(const Vector3 &p, Vector3 &out);
// out = upper three rows of View · (p, 1)
void transformToView(const Vector3 &p, Vector3 &out);
// out = ViewToClip · (p, 1)
void viewToClip(const Vector3 &p, float out[4]);

// out = ViewProjection · (p, 1): clip-space x, y, z, w.
inline void projectToClip(const Vector3 &p, float out[4]) {
  const float *m = ViewProjection.m;
  out[0] = m[0] * p.x + m[1] * p.y + m[2] * p.z + m[3];
  out[1] = m[4] * p.x + m[5] * p.y + m[6] * p.z + m[7];
  out[2] = m[8] * p.x + m[9] * p.y + m[10] * p.z + m[11];
  out[3] = m[12] * p.x + m[13] * p.y + m[14] * p.z + m[15];
}
