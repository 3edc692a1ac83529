// Helpers the star classes share for walking their live lists.
#pragma once

#include "scene/kindlist.h"

// The instance after o in its class list.
template <class T> T *nextStar(const T *o) { return ObjectKindList<T>::following(o); }
