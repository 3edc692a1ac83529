// The live list every object class keeps of its instances, the snapshot some
// classes offer to the force steps of others, and the class step they all share.
#pragma once

#include <cmath>
#include <new>

#include "frame/framestate.h"

// A class's live instances, singly linked through their `next` field, newest
// at the head. Instances are owned by the list: only purgeDead and clearKind
// delete them.
template <class T> struct ObjectKindList {
  T *head = nullptr;

  bool empty() const { return head == nullptr; }

  static T *following(const T *o) { return static_cast<T *>(o->next); }

  // Links a new instance in at the head (constant time).
  void push(T *o) {
    o->next = head;
    head = o;
  }

  int count() const {
    int n = 0;
    for (const T *o = head; o; o = following(o)) ++n;
    return n;
  }

  // Deletes every instance whose dead flag is set. The survivors end in the
  // reverse of their former order.
  void purgeDead() {
    T *survivors = nullptr;
    T *o = head;
    while (o) {
      T *after = following(o);
      if (o->dead) {
        delete o;
      } else {
        o->next = survivors;
        survivors = o;
      }
      o = after;
    }
    head = survivors;
  }

  // Deletes every instance, from the head on.
  void clearKind() {
    while (head) {
      T *o = head;
      head = following(o);
      delete o;
    }
  }
};

// A class's instances as an array, taken at most once per frame: the first
// caller in a frame (a new ElapsedSeconds) rebuilds it, later callers reuse it,
// so instances made later in the frame appear from the next frame on.
template <class T> struct KindSnapshot {
  static constexpr int Capacity = 2048;

  T *items[Capacity];
  int count = 0;
  float stamp = std::nanf(""); // never equal to a clock value: the first take rebuilds

  // The array and its count; at most Capacity instances, in list order.
  T *const *take(const ObjectKindList<T> &list, int &outCount) {
    if (stamp != ElapsedSeconds) {
      count = 0;
      stamp = ElapsedSeconds;
      for (T *o = list.head; o && count < Capacity; o = ObjectKindList<T>::following(o)) items[count++] = o;
    }
    outCount = count;
    return items;
  }

  // Forgets the array so the next take rebuilds it (after the list was cleared,
  // even within the same clock value).
  void invalidate() {
    count = 0;
    stamp = std::nanf("");
  }
};

// Makes a new instance without throwing; null when memory is exhausted, in
// which case the caller skips the object.
template <class T> T *allocateObject() { return new (std::nothrow) T(); }

// The class step every object class follows: draw every instance in list
// order (where the last update left it), then update every instance in list
// order, then delete the dead when the class's instances can die. Instances
// pushed during the updates land at the head and wait for the next frame.
// The caller sets the class's render state first.
template <class T, class Draw, class Update>
void stepKind(ObjectKindList<T> &list, Draw draw, Update update, bool purge) {
  for (T *o = list.head; o; o = ObjectKindList<T>::following(o)) draw(*o);
  for (T *o = list.head; o; o = ObjectKindList<T>::following(o)) update(*o);
  if (purge) list.purgeDead();
}
