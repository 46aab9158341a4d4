#pragma once

#include "common/color_cloud.h"
#include "common/point_list.h"

#include <cstdint>
#include <vector>

// The query positions in the order to search them. Scattered queries are searched in Morton
// (Z-curve) order, where consecutive ones share branches of the tree and nearby reference
// points: a shuffled 10^6-point pair takes 1.3-1.5 s in storage order and 0.9-1.0 s in Morton
// order (whole run, one thread). A cloud in a scanner's order is as coherent already: sorting
// it costs about 0.1 s of 0.8 s there. Empty means storage order.
std::vector<std::uint32_t> searchOrder(const ColorCloud& query);
std::vector<std::uint32_t> searchOrder(const PointList& query);
