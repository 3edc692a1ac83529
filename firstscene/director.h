// The first scene's director beyond the three entry points of firstscene.h:
// its settings, its cameras, and the spawn and clear of all its objects.
#pragma once

#include "math/vector.h"

// What the director keeps from the scene's settings at build time.
struct FirstSceneSettings {
  bool saver = true;
  int trailers = 7;
  int worms = 2;
  int spinners = 2;
  int meteors = 1;
  int tubifex = 7;
  int debris = 200;
  int timeFactor = 100; // percent
  int staticCamera = 1; // non-zero: the objects are seen from a fixed eye
  int backdrop = 1;     // non-zero: the nebula sky is built and drawn
};

// Largest counts the director creates. Every value the control panel offers is
// below them (at most 24 tubifex, 15 trailers, 5 of the others); they keep a
// hand-edited registry from exhausting memory or outgrowing the 2048-slot
// snapshots (a spinner count makes six ring members), and the frame time
// grows with every creature and the sparks it sheds: with counts in the
// thousands a frame took over a second and the saver seemed to hang.
constexpr int MaxSteeringObjects = 96;
constexpr int MaxSpinnerRings = MaxSteeringObjects / 6;
constexpr int MaxDebris = 20000;

// Counts outside 0..their maximum brought inside; the flags and time factor as given.
FirstSceneSettings boundFirstSceneSettings(const FirstSceneSettings &s);

// The scene from explicit settings instead of the registry (the build and tests).
void buildFirstSceneFrom(const FirstSceneSettings &settings, bool motionBlur);
const FirstSceneSettings &firstSceneSettings();

// The director's camera record, as last passed to setCamera.
struct DirectorCamera {
  Vector3 eye, target, up;
  float zoom, nearZ, farZ;
};
const DirectorCamera &firstSceneCamera();
// The camera the objects were last seen from (orbit ×3, or the static one).
const DirectorCamera &firstSceneObjectCamera();

void staticCamera();
void titleCamera();
// The slow orbit at radius 55 around the centre, driven by ElapsedSeconds.
void orbitCamera();

void spawnFirstScene();
void clearFirstScene();
