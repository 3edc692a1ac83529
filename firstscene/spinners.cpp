#include "firstscene/spinners.h"

#include "firstscene/chains.h"
#include "firstscene/trailers.h"
#include "scene/sprite.h"

namespace {
ObjectKindList<CellType5> Members;
KindSnapshot<CellType5> MemberSnapshot;
ObjectKindList<CellType7> SpinnerTails;
} // namespace

CellType5 *CellType5::create(Cell *leader) {
  CellType5 *o = allocateObject<CellType5>();
  if (!o) return nullptr;
  o->kind = 5;
  o->size = 7.0f;
  o->maxSpeed = 100.0f;
  o->color = Rgb{255.0f, 110.0f, 255.0f};
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.0f;
  o->leader = leader;
  if (leader) {
    float x = randomSymmetric();
    float y = randomSymmetric();
    float z = randomSymmetric();
    vector3Add(leader->position, Vector3{x, y, z}, o->position);
    o->lifeSpan = leader->lifeSpan;
    o->depth = leader->depth + 1;
  } else {
    randomPositionInCube(950.0f, *o);
    o->lifeSpan = 5.0f;
    o->depth = 1;
  }
  Members.push(o);
  return o;
}

void CellType5::setRenderState() { setGlowState(TextureId); }

void CellType5::update(CellType5 &o) {
  moveChainHead(o);

  vector3Scale(-0.08f, o.position, o.acceleration);
  if (o.leader) {
    Vector3 toLeader;
    vector3Sub(o.leader->position, o.position, toLeader);
    vector3MulAdd(100.0f, toLeader, o.acceleration, o.acceleration);
  }
  int count = 0;
  CellType1 *const *trailers = CellType1::snapshot(count);
  steerToNearest(o, trailers, count, 20000.0f, 1.0f);
  steerToNearest(o, trailers, count, -90000.0f, 2.0f);
  CellType5 *const *members = snapshot(count);
  steerToNearest(o, members, count, -600000.0f, 4.0f);

  if (o.childCount == 0) {
    o.childCount = 1;
    CellType7::create(o);
    if (o.depth < RingSize) {
      create(&o);
    } else {
      // The last member closes the ring: the root starts following it.
      Cell *root = &o;
      for (int guard = 0; root->leader && guard < 4 * RingSize; ++guard) root = root->leader;
      if (!root->leader) root->leader = &o;
    }
  }

  ageToLifeSpan(o);
}

void CellType5::step() {
  setRenderState();
  stepKind(
      Members, [](CellType5 &o) { drawSprite(o); }, update, false);
}

void CellType5::clearKind() {
  Members.clearKind();
  MemberSnapshot.invalidate();
}

CellType5 *const *CellType5::snapshot(int &count) { return MemberSnapshot.take(Members, count); }

ObjectKindList<CellType5> &CellType5::list() { return Members; }

CellType7 *CellType7::create(Cell &leader) {
  CellType7 *o = allocateObject<CellType7>();
  if (!o) return nullptr;
  o->kind = 7;
  o->leader = &leader;
  o->maxSpeed = leader.maxSpeed;
  o->depth = leader.depth + 1;
  o->color = Rgb{20.0f, 130.0f, 230.0f};
  o->alpha = PeakAlpha;
  o->lifeSpan = 10.0f;
  placeNearLeader(*o, leader);
  SpinnerTails.push(o);
  return o;
}

void CellType7::setRenderState() { setGlowState(TextureId); }

void CellType7::draw(CellType7 &o) {
  if (!o.leader) return;
  // From the texture's corner at this segment to its centre at the leader:
  // the line brightens toward the leader.
  drawTexturedLineAA(o.position, o.leader->position, 0.0f, 0.0f, 128.0f, 128.0f, o.color, o.alpha);
}

void CellType7::update(CellType7 &o) { updateTailSegment(o, LastSpawningDepth); }

void CellType7::step() {
  setRenderState();
  stepKind(SpinnerTails, draw, update, false);
}

void CellType7::clearKind() { SpinnerTails.clearKind(); }

ObjectKindList<CellType7> &CellType7::list() { return SpinnerTails; }
