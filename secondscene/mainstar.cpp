#include "secondscene/mainstar.h"

#include <algorithm>
#include <new>

#include "frame/framestate.h"
#include "math/camera.h"
#include "math/clip.h"
#include "math/vector.h"
#include "secondscene/director.h"
#include "secondscene/disk.h"
#include "secondscene/starlist.h"
#include "secondscene/supernova.h"

namespace {
ObjectKindList<StarType1> MainStars;
int32_t MainStarCount = 0;
float LastMarkTime = 0.0f;
ObjectKindList<StarType2> Streams;
} // namespace

StarType1::StarType1() { ++MainStarCount; }

StarType1::~StarType1() {
  delete[] neighbours;
  --MainStarCount;
}

StarType1 *StarType1::create() {
  StarType1 *o = allocateObject<StarType1>();
  if (!o) return nullptr;
  o->kind = 0x101;
  o->size = 1.6f;
  o->maxSpeed = 10.0f;
  o->life = randomUniform() * 10.0f + 20.0f;
  o->flicker = 0.9f;
  o->flickerAmplitude = 0.1f;
  o->flickerFloor = 0.7f;
  o->color.r = 255.0f;
  o->color.g = randomSymmetric() * 50.0f + 150.0f;
  o->color.b = randomUniform() * 50.0f;
  o->marked = 0;
  if (ElapsedSeconds - LastMarkTime > SupernovaInterval && randomUniform() < 0.1f) {
    o->marked = 1;
    LastMarkTime = ElapsedSeconds;
  }
  randomPositionInCube(30.0f, *o);
  int32_t slots = std::max<int32_t>(MainStarCapacity, 0);
  o->neighbours = new (std::nothrow) NeighbourEntry[slots > 0 ? slots : 1];
  o->neighbourSlots = o->neighbours ? slots : 0;
  for (int32_t i = 0; i < o->neighbourSlots; ++i) o->neighbours[i] = NeighbourEntry{nullptr, 0.0f};
  MainStars.push(o);
  return o;
}

ObjectKindList<StarType1> &StarType1::list() { return MainStars; }
int32_t StarType1::liveCount() { return MainStarCount; }
float StarType1::lastMarkTime() { return LastMarkTime; }
void StarType1::setLastMarkTime(float t) { LastMarkTime = t; }

void ensureMainStars() {
  if (MainStarCount != 0) return;
  for (int i = 0; i < 60; ++i) StarType1::create();
}

void attractToNeighbours(StarType1 &o) {
  forEachNeighbour(o, [&](StarType1 &n) {
    Vector3 d;
    vector3Sub(n.position, o.position, d);
    float length = vector3Normalize(d);
    vector3MulAdd((length - NeighbourDistance) * 0.01f, d, o.position, o.position);
  });
  float radius = vector3Length(o.position);
  vector3Scale(34.0f / radius, o.position, o.position);
}

void ageMainStar(StarType1 &o) {
  o.life -= FrameDelta;
  if (o.life > 3.5f && o.life < 8.0f && randomUniform() < 0.08f) {
    forEachNeighbour(o, [&](StarType1 &n) {
      StarType2 *stream = StarType2::create();
      if (!stream) return;
      stream->position = o.position;
      vector3Sub(n.position, o.position, stream->velocity);
    });
  }
  if (o.life > 3.5f && o.life < 6.5f) {
    o.size = std::min(o.size * 1.025f, 6.5f);
    o.color.g *= 0.975f;
    o.color.b *= 0.975f;
  }
  if (o.life < 3.5f) {
    o.size *= 0.975f;
    o.color.r = std::min(o.color.r + 7.0f, 240.0f);
    o.color.g = std::min(o.color.g + 5.0f, 240.0f);
    o.color.b = std::min(o.color.b + 3.0f, 255.0f);
  }
  if (o.life < 0.0f) {
    o.dead = 1;
    if (o.marked) {
      StarType5 *nova = StarType5::create();
      if (nova) {
        nova->color = o.color;
        nova->alpha = o.alpha;
        nova->position = o.position;
      }
    } else {
      forEachNeighbour(o, [](StarType1 &n) {
        if (n.life > 6.0f) n.life += 15.0f;
      });
      if (StarType4::liveCount() < DiskParticleCap)
        StarType4::create(o.position.x, o.position.y, o.position.z);
    }
  }
}

void splitMainStar(StarType1 &o) {
  if (o.life > 30.0f && MainStarCount < MainStarCapacity - 5) {
    o.life -= 30.0f;
    StarType1 *child = StarType1::create();
    if (child) child->position = Vector3{o.position.x + 0.01f, o.position.y, o.position.z};
  }
}

void rebuildNeighbours(StarType1 &o) {
  int32_t written = 0;
  for (StarType1 *s = MainStars.head; s && written < o.neighbourSlots; s = nextStar(s))
    o.neighbours[written++] = NeighbourEntry{s, distanceSquared(o, *s)};
  std::sort(o.neighbours, o.neighbours + written, [](const NeighbourEntry &a, const NeighbourEntry &b) {
    return a.distanceSquared < b.distanceSquared;
  });
}

void forgetStar(const StarType1 &dying) {
  for (StarType1 *s = MainStars.head; s; s = nextStar(s)) {
    for (int32_t i = 0; i < s->neighbourSlots; ++i)
      if (s->neighbours[i].star == &dying) s->neighbours[i].star = nullptr;
  }
}

// Every entry points to a live star until the purge (this pass keeps it so),
// so reading the dead flag through it is safe.
void forgetDeadStars() {
  for (StarType1 *s = MainStars.head; s; s = nextStar(s)) {
    for (int32_t i = 0; i < s->neighbourSlots; ++i) {
      StarType1 *n = s->neighbours[i].star;
      if (n && n->dead) s->neighbours[i].star = nullptr;
    }
  }
}

namespace {
// A line end: the bright centre of the star texture, tinted dark blue.
void lineVertex(const Vector3 &at, ClipVertex &v) {
  projectToClip(at, v.v);
  v[4] = 0.0f;
  v[5] = 0.0f;
  v[6] = 45.0f;
  v[7] = 255.0f;
  v[8] = 128.0f;
  v[9] = 128.0f;
}
} // namespace

void drawMainStar(StarType1 &o) {
  drawSprite(o);
  ClipVertex a;
  lineVertex(o.position, a);
  forEachNeighbour(o, [&](StarType1 &n) {
    ClipVertex b;
    lineVertex(n.position, b);
    // The clipper may grow the list by one vertex per plane.
    ClipVertex *line[2 + 7] = {&a, &b};
    int count = 0;
    drawLine3D(10, 2, line, count, line);
  });
}

void StarType1::step() {
  setStarRenderState();
  for (StarType1 *o = MainStars.head; o; o = nextStar(o)) drawMainStar(*o);
  bool anyDead = false;
  for (StarType1 *o = MainStars.head; o; o = nextStar(o)) {
    attractToNeighbours(*o);
    ageMainStar(*o);
    splitMainStar(*o);
    if (10.0f / static_cast<float>(MainStarCount + 1) > randomUniform()) rebuildNeighbours(*o);
    anyDead = anyDead || o->dead;
  }
  if (anyDead) forgetDeadStars();
  MainStars.purgeDead();
}

void StarType1::clearKind() { MainStars.clearKind(); }

StarType2 *StarType2::create() {
  StarType2 *o = allocateObject<StarType2>();
  if (!o) return nullptr;
  o->kind = 0x102;
  o->size = 0.8f;
  o->maxSpeed = 10.0f;
  o->lifeSpan = 0.75f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.0f;
  o->flickerFloor = 1.0f;
  o->color = Rgb{80.0f, 0.0f, 124.0f};
  Streams.push(o);
  return o;
}

ObjectKindList<StarType2> &StarType2::list() { return Streams; }

void StarType2::step() {
  setStarRenderState();
  for (StarType2 *o = Streams.head; o; o = nextStar(o)) drawSprite(*o);
  for (StarType2 *o = Streams.head; o; o = nextStar(o)) {
    moveParticle(*o);
    if (o->age >= o->lifeSpan)
      o->dead = 1;
    else
      o->age += FrameDelta;
    o->color.r *= 0.99f;
    o->color.g *= 0.85f;
    o->color.b *= 0.95f;
  }
  Streams.purgeDead();
}

void StarType2::clearKind() { Streams.clearKind(); }
