#include "math/camera.h"

Camera CurrentCamera;
float CameraAspect = 0.75f;

void setCameraAspect(float heightOverWidth) {
  CameraAspect = heightOverWidth > 0.0f ? heightOverWidth : 0.75f;
  CurrentCamera.changed = 1;
}

void setCameraView(const Vector3 &eye, const Vector3 &target, const Vector3 &up) {
  CurrentCamera.eye = eye;
  CurrentCamera.target = target;
  CurrentCamera.up = up;
  vector3Normalize(CurrentCamera.up);
  CurrentCamera.changed = 1;
}

void setCamera(const Vector3 &eye, const Vector3 &target, const Vector3 &up, float zoom, float nearZ,
               float farZ) {
  setCameraView(eye, target, up);
  CurrentCamera.zoom = zoom;
  CurrentCamera.nearZ = nearZ;
  CurrentCamera.farZ = farZ;
}

void getCameraView(Vector3 &eye, Vector3 &target, Vector3 &up) {
  eye = CurrentCamera.eye;
  target = CurrentCamera.target;
  up = CurrentCamera.up;
}

bool cameraChanged() { return CurrentCamera.changed != 0; }

void buildLookAtMatrix(Matrix4 &out) {
  Vector3 f;
  vector3Sub(CurrentCamera.target, CurrentCamera.eye, f);
  vector3Normalize(f);
  // s and u are deliberately left unnormalised: an up hint that is not
  // perpendicular to the view shrinks the image by the sine of their angle.
  Vector3 s, u;
  vector3Cross(CurrentCamera.up, f, s);
  vector3Cross(f, s, u);
  matrix4Identity(out);
  out.m[0] = s.x;
  out.m[1] = s.y;
  out.m[2] = s.z;
  out.m[4] = u.x;
  out.m[5] = u.y;
  out.m[6] = u.z;
  out.m[8] = f.x;
  out.m[9] = f.y;
  out.m[10] = f.z;
}

void buildPerspectiveMatrix(Matrix4 &out) {
  const Camera &c = CurrentCamera;
  float t = -(c.zoom + c.nearZ) / (c.zoom + c.farZ);
  matrix4Identity(out);
  out(2, 2) = 1.0f / (1.0f + t);
  out(2, 3) = -t / (1.0f + t);
  out(3, 2) = -1.0f;
  out(3, 3) = 0.0f;
}

void updateCamera() {
  Camera &c = CurrentCamera;
  c.changed = 0;

  Matrix4 t, rt, z, s;
  Vector3 negEye = {-c.eye.x, -c.eye.y, -c.eye.z};
  matrix4Translation(negEye, t);
  buildLookAtMatrix(c.LookAt);
  matrix4Multiply(c.LookAt, t, rt);
  matrix4Translation(Vector3{0.0f, 0.0f, c.zoom}, z);
  matrix4Multiply(z, rt, c.View);

  c.CameraScaleX = CameraAspect * c.zoom / (c.zoom + c.farZ);
  c.CameraScaleY = c.zoom / (c.zoom + c.farZ);
  c.CameraScaleZ = -1.0f / (c.zoom + c.farZ);
  matrix4Scaling(Vector3{c.CameraScaleX, c.CameraScaleY, c.CameraScaleZ}, s);

  buildPerspectiveMatrix(c.Perspective);
  matrix4Multiply(c.Perspective, s, c.ViewToClip);
  matrix4Multiply(c.ViewToClip, c.View, c.ViewProjection);
}

void cameraRelative(const Vector3 &p, Vector3 &out) { vector3Sub(p, CurrentCamera.eye, out); }

void transformToView(const Vector3 &p, Vector3 &out) { matrix4TransformPoint(p, CurrentCamera.View, out); }

void viewToClip(const Vector3 &p, float out[4]) { matrix4TransformPoint4(p, CurrentCamera.ViewToClip, out); }
