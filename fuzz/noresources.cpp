// The fuzz targets carry no pictures: an empty resource table.
#include "resources/embedded.h"

const EmbeddedResource EmbeddedResources[1] = {{0, "", nullptr, 0}};
const std::size_t EmbeddedResourceCount = 0;
