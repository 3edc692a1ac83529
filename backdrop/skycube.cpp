#include "backdrop/backdrop.h"
#include "backdrop/skycube.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "assets/textures.h"
#include "backdrop/noise.h"
#include "glide/glide.h"
#include "math/camera.h"
#include "math/clip.h"
#include "scene/particle.h"

namespace {

Point PointTable[PointTableSize];
int PointsStored = 0;
int PointsProjected = 0;
int32_t FrameStamp = 0;

Quad *Faces[6] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
int FaceTextures[6] = {-1, -1, -1, -1, -1, -1};
float VertexColor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
bool BlurOn = false;
int RefineProgress = RefineTotal;
uint8_t RefineBuffer[FaceTexels];

const Vector3 CubeCorners[8] = {
    {-1.0f, -1.0f, -1.0f}, {-1.0f, -1.0f, 1.0f}, {1.0f, -1.0f, 1.0f}, {1.0f, -1.0f, -1.0f},
    {-1.0f, 1.0f, -1.0f},  {-1.0f, 1.0f, 1.0f},  {1.0f, 1.0f, 1.0f},  {1.0f, 1.0f, -1.0f},
};
const int FaceCorners[6][4] = {{0, 1, 2, 3}, {0, 1, 5, 4}, {1, 2, 6, 5},
                               {2, 3, 7, 6}, {3, 0, 4, 7}, {4, 5, 6, 7}};
// Coordinates of the coarse 64 x 64 image in the corner of a face texture.
const float CoarseS[4] = {0.5f, 0.5f, 63.5f, 63.5f};
const float CoarseT[4] = {0.5f, 63.5f, 63.5f, 0.5f};

bool isEmpty(const Vector3 &v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

bool samePosition(const Vector3 &a, const Vector3 &b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

Vector3 sum(const Vector3 &a, const Vector3 &b) {
  Vector3 r;
  vector3Add(a, b, r);
  return r;
}

QuadCorner midpoint(const QuadCorner &a, const QuadCorner &b) {
  Vector3 v = sum(a.point->position, b.point->position);
  QuadCorner m;
  m.point = findPoint(v.x, v.y, v.z);
  m.s = (a.s + b.s) * 0.5f;
  m.t = (a.t + b.t) * 0.5f;
  return m;
}

void setCentre(Quad &q) {
  Vector3 v =
      sum(sum(sum(q.corners[0].point->position, q.corners[1].point->position), q.corners[2].point->position),
          q.corners[3].point->position);
  q.centre.point = findPoint(v.x, v.y, v.z);
  q.centre.s = (q.corners[0].s + q.corners[1].s + q.corners[2].s + q.corners[3].s) * 0.25f;
  q.centre.t = (q.corners[0].t + q.corners[1].t + q.corners[2].t + q.corners[3].t) * 0.25f;
}

// Gives the patch its centre; false when one of its points could not be stored.
bool completeQuad(Quad &q) {
  for (const QuadCorner &c : q.corners)
    if (!c.point) return false;
  setCentre(q);
  return q.centre.point != nullptr;
}

void scatterStars(Quad &leaf) {
  leaf.stars = new (std::nothrow) StarArrayClass;
  if (!leaf.stars) return;
  const Vector3 &c0 = leaf.corners[0].point->position;
  Vector3 e1, e2;
  vector3Sub(leaf.corners[1].point->position, c0, e1);
  vector3Sub(leaf.corners[2].point->position, c0, e2);
  int n = 0;
  for (int attempt = 0; attempt < 6; ++attempt) {
    float u1 = randomUniform();
    float u2 = randomUniform();
    Vector3 p;
    vector3MulAdd(u1, e1, c0, p);
    vector3MulAdd(u2, e2, p, p);
    vector3Normalize(p);
    vector3Scale(SkyRadius, p, p);
    if (attempt < 2 || starMask(p) >= 0.01) {
      StarType11 *star = StarType11::create(p);
      if (star) leaf.stars->stars[n++] = star;
    }
  }
}

void splitQuad(Quad &q) {
  if (q.level > LeafLevel - 1) {
    scatterStars(q);
    return;
  }
  const QuadCorner &c0 = q.corners[0], &c1 = q.corners[1], &c2 = q.corners[2], &c3 = q.corners[3];
  QuadCorner m01 = midpoint(c0, c1), m12 = midpoint(c1, c2), m23 = midpoint(c2, c3), m30 = midpoint(c3, c0),
             ce = q.centre;
  const QuadCorner layout[4][4] = {
      {c0, m01, ce, m30}, {m01, c1, m12, ce}, {ce, m12, c2, m23}, {m30, ce, m23, c3}};
  for (int i = 0; i < 4; ++i) {
    Quad *child = new (std::nothrow) Quad;
    if (!child) continue;
    for (int k = 0; k < 4; ++k) child->corners[k] = layout[i][k];
    child->level = q.level + 1;
    child->parent = &q;
    if (!completeQuad(*child)) {
      delete child;
      continue;
    }
    q.children[i] = child;
  }
  for (Quad *child : q.children)
    if (child) splitQuad(*child);
}

Quad *buildFace(int face) {
  Quad *q = new (std::nothrow) Quad;
  if (!q) return nullptr;
  for (int k = 0; k < 4; ++k) {
    const Vector3 &v = CubeCorners[FaceCorners[face][k]];
    q->corners[k].point = findPoint(v.x, v.y, v.z);
    q->corners[k].s = CoarseS[k];
    q->corners[k].t = CoarseT[k];
  }
  if (!completeQuad(*q)) {
    delete q;
    return nullptr;
  }
  return q;
}

void freeQuad(Quad *q) {
  if (!q) return;
  for (Quad *child : q->children) freeQuad(child);
  delete q->stars;
  delete q;
}

// The direction of texel (column, row) of a face, at the given spacing.
Vector3 texelDirection(const Quad &face, float fs, float ft) {
  const Vector3 &c0 = face.corners[0].point->position;
  Vector3 along, down, p;
  vector3Sub(face.corners[3].point->position, c0, along);
  vector3Sub(face.corners[1].point->position, c0, down);
  vector3MulAdd(fs, along, c0, p);
  vector3MulAdd(ft, down, p, p);
  vector3Normalize(p);
  return p;
}

void uploadFace(int face, uint8_t *image) {
  if (FaceTextures[face] != -1) {
    // A rebuild reuses the face's texture memory: the board never frees any.
    guTexDownloadMipMap(FaceTextures[face], image, nullptr);
    std::free(image);
    return;
  }
  TextureInfo info{};
  info.width = 256;
  info.height = 256;
  info.smallestLod = GR_LOD_1;
  info.largestLod = GR_LOD_256;
  info.aspect = GR_ASPECT_1x1;
  info.format = GR_TEXFMT_INTENSITY_8;
  info.texels = image;
  info.byteSize = FaceTexels;
  FaceTextures[face] = downloadTexture(info);
}

void buildFaceTexture(int face) {
  Quad *q = Faces[face];
  if (!q) return;
  // downloadTexture gives the buffer back with std::free.
  uint8_t *image = static_cast<uint8_t *>(std::calloc(FaceTexels, 1));
  if (!image) return;
  for (int column = 0; column < 64; ++column)
    for (int row = 0; row < 64; ++row) {
      Vector3 p =
          texelDirection(*q, static_cast<float>(column * 4) / 255.0f, static_cast<float>(row * 4) / 255.0f);
      image[row * 256 + column] = static_cast<uint8_t>(texelIntensity(p));
    }
  markContent(*q, image);
  uploadFace(face, image);
}

void hideTree(Quad &q) {
  q.visible = 0;
  for (Quad *child : q.children)
    if (child) hideTree(*child);
}

bool isLeaf(const Quad &q) { return q.level >= LeafLevel; }

void drawPatches(Quad &q) {
  guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
  ClipVertex v[4];
  for (int k = 0; k < 4; ++k) {
    const float *c = projectPoint(*q.corners[k].point);
    float *o = v[k].v;
    o[0] = c[0];
    o[1] = c[1];
    o[2] = c[2];
    o[3] = c[3];
    o[4] = VertexColor[0];
    o[5] = VertexColor[1];
    o[6] = VertexColor[2];
    o[7] = VertexColor[3];
    o[8] = q.corners[k].s;
    o[9] = q.corners[k].t;
  }
  ClipVertex *in[5] = {&v[0], &v[1], &v[2], &v[3], nullptr};
  ClipVertex *out[40];
  int left = 0;
  if (isLeaf(q) && !BlurOn && q.hasContent)
    drawPolygon3D(10, 4, in, left, out);
  else
    clipPolygon3D(4, 4, in, left, out);
  if (left <= 0) {
    hideTree(q);
    return;
  }
  q.visible = 1;
  if (!isLeaf(q))
    for (Quad *child : q.children)
      if (child) drawPatches(*child);
}

void drawStars(const Quad &q) {
  if (!q.visible) return;
  if (q.stars) {
    for (StarType11 *star : q.stars->stars) {
      if (!star) break;
      StarType11::draw(*star);
    }
    return;
  }
  for (Quad *child : q.children)
    if (child) drawStars(*child);
}

} // namespace

Point *findPoint(float x, float y, float z) {
  Vector3 v{x, y, z};
  vector3Normalize(v);
  vector3Scale(SkyRadius, v, v);
  if (isEmpty(v)) return nullptr; // no direction: nothing to store
  if (PointsStored == 0)
    for (Point &p : PointTable) p.position = Vector3{0.0f, 0.0f, 0.0f};
  uint16_t halves[6];
  std::memcpy(halves, &v.x, 4);
  std::memcpy(halves + 2, &v.y, 4);
  std::memcpy(halves + 4, &v.z, 4);
  unsigned h = 0;
  for (uint16_t half : halves) h ^= half;
  h %= 8191;
  for (int probe = 0; probe < PointTableSize; ++probe) {
    Point &slot = PointTable[(h + probe) % PointTableSize];
    if (isEmpty(slot.position)) {
      slot.position = v;
      slot.stamp = ~FrameStamp;
      ++PointsStored;
      return &slot;
    }
    if (samePosition(slot.position, v)) return &slot;
  }
  return nullptr;
}

const float *projectPoint(Point &p) {
  if (p.stamp != FrameStamp) {
    ++PointsProjected;
    projectToClip(p.position, p.clip);
    p.stamp = FrameStamp;
  }
  return p.clip;
}

void markContent(Quad &q, const uint8_t *image) {
  if (q.level <= LeafLevel - 1) {
    for (Quad *child : q.children)
      if (child) markContent(*child, image);
    return;
  }
  for (int i = static_cast<int>(q.corners[0].s); i < q.corners[3].s; ++i)
    for (int j = static_cast<int>(q.corners[0].t); j < q.corners[1].t; ++j)
      if (i >= 0 && i < 256 && j >= 0 && j < 256 && image[j * 256 + i] != 0) {
        q.hasContent = 1;
        return;
      }
  q.hasContent = 0;
}

void rescaleTexCoords(Quad &q) {
  for (Quad *child : q.children)
    if (child) rescaleTexCoords(*child);
  const float scale = 4.047619f; // 255 / 63
  for (QuadCorner &c : q.corners) {
    c.s = (c.s - 0.5f) * scale + 0.5f;
    c.t = (c.t - 0.5f) * scale + 0.5f;
  }
}

void refineTexels(int n) {
  if (RefineProgress >= RefineTotal) return;
  int face = RefineProgress / FaceTexels;
  int i = RefineProgress % FaceTexels;
  int end = i + n;
  Quad *q = Faces[face];
  while (i < end) {
    if (q) {
      int column = i % 256, row = i / 256;
      Vector3 p = texelDirection(*q, static_cast<float>(column) / 255.0f, static_cast<float>(row) / 255.0f);
      RefineBuffer[i] = static_cast<uint8_t>(texelIntensity(p));
    }
    ++RefineProgress;
    if (i == FaceTexels - 1) {
      if (q) {
        if (FaceTextures[face] != -1) guTexDownloadMipMap(FaceTextures[face], RefineBuffer, nullptr);
        rescaleTexCoords(*q);
        markContent(*q, RefineBuffer);
      }
      return;
    }
    ++i;
  }
}

void buildBackdrop(bool motionBlur, float r, float g, float b, float a) {
  VertexColor[0] = r;
  VertexColor[1] = g;
  VertexColor[2] = b;
  VertexColor[3] = a;
  BlurOn = motionBlur;
  initNoise();
  // A second build replaces the first: its patches and stars go.
  for (Quad *&face : Faces) {
    freeQuad(face);
    face = nullptr;
  }
  StarType11::clearKind();
  for (int f = 0; f < 6; ++f) Faces[f] = buildFace(f);
  for (Quad *face : Faces)
    if (face) splitQuad(*face);
  for (int f = 0; f < 6; ++f) buildFaceTexture(f);
  RefineProgress = 0;
}

void drawBackdrop(bool motionBlur) {
  ++FrameStamp;
  PointsProjected = 0;
  grDitherMode(motionBlur ? GR_DITHER_DISABLE : GR_DITHER_4x4);
  guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, motionBlur ? GR_BLEND_ONE : GR_BLEND_ZERO, GR_BLEND_ZERO,
                       GR_BLEND_ZERO);
  for (int f = 0; f < 6; ++f) {
    if (!Faces[f]) continue;
    guTexSource(FaceTextures[f]);
    drawPatches(*Faces[f]);
  }
  selectTexture(109);
  guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
  for (Quad *face : Faces)
    if (face) drawStars(*face);
  refineTexels(TexelsPerFrame);
}

Quad *backdropFace(int face) { return face >= 0 && face < 6 ? Faces[face] : nullptr; }
int backdropFaceTexture(int face) { return face >= 0 && face < 6 ? FaceTextures[face] : -1; }
int backdropPointsStored() { return PointsStored; }
int backdropPointsProjected() { return PointsProjected; }
int backdropRefineProgress() { return RefineProgress; }
const uint8_t *backdropRefineBuffer() { return RefineBuffer; }
