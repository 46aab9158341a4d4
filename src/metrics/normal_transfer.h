#pragma once

#include "search/pc_error_search.h"

#include "common/color_cloud.h"
#include "search/nearest_neighbour_search.h"

// The normals that pc_error gives the decoded points for D2, from the original's (its
// scaleNormals with --averageNormals=1): every original point adds its normal to each decoded
// point at exactly its nearest squared distance; a decoded point that was given normals takes
// their mean, and one that was given none the mean normal of the original points at exactly
// its own nearest distance. The means of unit normals are used as they are, not normalised
// again. The points near each original point and near each decoded point come from
// findNearbyNeighbours in each direction.
// With average false (--averageNormals=0), only the first point found at the nearest distance
// gives or takes a normal.
// Where nearest points tie, pc_error's own searches over the decoded and the original cloud, when
// given, decide which and in what order, as pc_error's transfer takes them.
Normals transferNormals(const PointList& original, const Normals& originalNormals,
                        const PointList& decoded, const NearbyLists& originalToDecoded,
                        const NearbyLists& decodedToOriginal, bool average = true,
                        PcErrorSearch* decodedTies = nullptr,
                        PcErrorSearch* originalTies = nullptr);
