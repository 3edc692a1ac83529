#include "firstscene/worms.h"

#include <algorithm>

#include "firstscene/trailers.h"

namespace {
ObjectKindList<CellType2> Worms;
KindSnapshot<CellType2> WormSnapshot;
ObjectKindList<CellType3> Segments;
} // namespace

CellType2 *CellType2::create() {
  CellType2 *o = allocateObject<CellType2>();
  if (!o) return nullptr;
  o->kind = 2;
  o->size = 46.0f;
  o->maxSpeed = 80.0f;
  o->color = Rgb{255.0f, 250.0f, 252.0f};
  o->alpha = PeakAlpha;
  o->lifeSpan = 16.0f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.2f;
  o->flickerFloor = 0.6f;
  randomPositionInCube(500.0f, *o);
  o->velocity = Vector3{0.0f, 0.0f, 0.0f};
  Worms.push(o);
  return o;
}

void CellType2::setRenderState() { setGlowState(TextureId); }

void CellType2::update(CellType2 &o) {
  moveParticle(o);

  vector3Scale(-0.25f, o.position, o.acceleration);
  int count = 0;
  CellType1 *const *trailers = CellType1::snapshot(count);
  steerToNearest(o, trailers, count, 6000.0f, 1.0f);
  CellType2 *const *worms = snapshot(count);
  steerToNearest(o, worms, count, -80000.0f, 2.0f);

  if (o.childCount == 0) {
    // One try only: a failed allocation is not retried.
    o.children[0] = CellType3::create(o);
    o.childCount = 1;
  }

  ageToLifeSpan(o);
}

void CellType2::step() {
  setRenderState();
  stepKind(
      Worms, [](CellType2 &o) { drawSprite(o); }, update, false);
}

void CellType2::clearKind() {
  Worms.clearKind();
  WormSnapshot.invalidate();
}

CellType2 *const *CellType2::snapshot(int &count) { return WormSnapshot.take(Worms, count); }

ObjectKindList<CellType2> &CellType2::list() { return Worms; }

CellType3 *CellType3::create(Cell &leader) {
  CellType3 *o = allocateObject<CellType3>();
  if (!o) return nullptr;
  o->kind = 3;
  o->maxSpeed = 90.0f;
  o->leader = &leader;
  o->lifeSpan = leader.lifeSpan;
  o->depth = leader.depth + 1;

  // The whole body takes the random colour of its first segment.
  if (o->depth > 2) {
    o->color = leader.color;
    o->alpha = leader.alpha;
  } else {
    randomBrightColor(*o);
  }

  randomPositionInCube(1.0f, *o);
  vector3Add(leader.position, o->position, o->position);

  if (leader.kind == 2) {
    o->size = 18.0f;
  } else {
    o->size = leader.size - 1.0f;
    if (o->size < 6.0f) o->size = 6.0f;
  }
  // The last two segments widen again into a tail tip.
  o->size += 2.0f * static_cast<float>(std::max(o->depth - 22, 0));

  o->flicker = 1.0f;
  o->flickerAmplitude = 0.0f;
  o->flickerFloor = 0.6f;
  Segments.push(o);
  return o;
}

void CellType3::setRenderState() { setGlowState(TextureId); }

void CellType3::update(CellType3 &o) {
  moveParticle(o);
  followLeader(o, 0.5f * o.age);
  if (o.childCount == 0 && o.depth <= LastSpawningDepth) {
    o.children[0] = create(o);
    o.childCount = 1;
  }
  ageToLifeSpan(o);
}

void CellType3::step() {
  setRenderState();
  stepKind(
      Segments, [](CellType3 &o) { drawSprite(o); }, update, false);
}

void CellType3::clearKind() { Segments.clearKind(); }

ObjectKindList<CellType3> &CellType3::list() { return Segments; }
