// Resource lookup over the table the build compiles into the program.
#include "platform/resources.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "resources/embedded.h"

namespace {

// Names are "#" and a decimal number, as the resource compiler spells ids.
bool parseResourceName(const char *name, int &id) {
  if (name == nullptr || name[0] != '#' || !std::isdigit(static_cast<unsigned char>(name[1]))) {
    return false;
  }
  char *end = nullptr;
  const long v = std::strtol(name + 1, &end, 10);
  if (*end != '\0' || v > 65535) {
    return false;
  }
  id = static_cast<int>(v);
  return true;
}

// Resource types compare without regard to case, as the system's do.
bool sameType(const char *a, const char *b) {
  for (; *a && *b; ++a, ++b) {
    if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) {
      return false;
    }
  }
  return *a == *b;
}

} // namespace

ResourceBytes findResource(const char *name, const char *type) {
  int id = 0;
  if (type == nullptr || !parseResourceName(name, id)) {
    return {nullptr, 0};
  }
  for (std::size_t i = 0; i < EmbeddedResourceCount; ++i) {
    const EmbeddedResource &r = EmbeddedResources[i];
    if (r.id == id && sameType(r.type, type)) {
      return {r.data, r.size};
    }
  }
  return {nullptr, 0};
}

const int *resourceIds(std::size_t &count) {
  static std::vector<int> ids = [] {
    std::vector<int> v;
    for (std::size_t i = 0; i < EmbeddedResourceCount; ++i) {
      v.push_back(EmbeddedResources[i].id);
    }
    return v;
  }();
  count = ids.size();
  return ids.data();
}
