#include "firstscene/tubifex.h"

#include "assets/textures.h"
#include "firstscene/chains.h"
#include "firstscene/trailers.h"
#include "glide/glide.h"
#include "scene/sprite.h"

namespace {
ObjectKindList<CellType10> Heads;
KindSnapshot<CellType10> HeadSnapshot;
ObjectKindList<CellType11> TubifexTails;
} // namespace

CellType10 *CellType10::create() {
  CellType10 *o = allocateObject<CellType10>();
  if (!o) return nullptr;
  o->kind = 10;
  o->size = 4.0f;
  o->maxSpeed = 100.0f;
  o->color = Rgb{90.0f, 255.0f, 90.0f};
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.0f;
  randomPositionInCube(5.0f, *o);
  o->position.x += 200.0f;
  o->lifeSpan = 5.0f;
  o->depth = 1;
  Heads.push(o);
  return o;
}

void CellType10::setRenderState() { setGlowState(TextureId); }

void CellType10::update(CellType10 &o) {
  moveChainHead(o);

  vector3Scale(-0.25f, o.position, o.acceleration);
  int count = 0;
  CellType10 *const *heads = snapshot(count);
  steerToNearest(o, heads, count, 20000.0f, 1.0f);
  steerToNearest(o, heads, count, -90000.0f, 2.0f);
  CellType1 *const *trailers = CellType1::snapshot(count);
  steerToNearest(o, trailers, count, -5000000.0f, 4.0f);

  if (o.childCount == 0) {
    o.childCount = 1;
    CellType11::create(o);
  }

  ageToLifeSpan(o);
}

void CellType10::step() {
  setRenderState();
  stepKind(
      Heads, [](CellType10 &o) { drawSprite(o); }, update, false);
}

void CellType10::clearKind() {
  Heads.clearKind();
  HeadSnapshot.invalidate();
}

CellType10 *const *CellType10::snapshot(int &count) { return HeadSnapshot.take(Heads, count); }

ObjectKindList<CellType10> &CellType10::list() { return Heads; }

CellType11 *CellType11::create(Cell &leader) {
  CellType11 *o = allocateObject<CellType11>();
  if (!o) return nullptr;
  o->kind = 11;
  o->leader = &leader;
  o->maxSpeed = leader.maxSpeed;
  o->depth = leader.depth + 1;
  o->color = Rgb{255.0f, 20.0f, 20.0f};
  o->alpha = 0.9f * leader.alpha;
  o->lifeSpan = 5.0f;
  placeNearLeader(*o, leader);
  TubifexTails.push(o);
  return o;
}

void CellType11::setRenderState() {
  // The vertex colour alone: the texture does not show.
  selectTexture(101);
  grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  guAlphaSource(GR_ALPHASOURCE_ITERATED_ALPHA);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
}

void CellType11::draw(CellType11 &o) {
  // The link between the head and the first segment is not drawn.
  if (!o.leader || o.depth < 3) return;
  drawPlainLineAA(o.position, o.leader->position, o.color, o.alpha, o.alpha);
}

void CellType11::update(CellType11 &o) { updateTailSegment(o, LastSpawningDepth); }

void CellType11::step() {
  setRenderState();
  stepKind(TubifexTails, draw, update, false);
}

void CellType11::clearKind() { TubifexTails.clearKind(); }

ObjectKindList<CellType11> &CellType11::list() { return TubifexTails; }
