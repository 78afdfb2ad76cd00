#pragma once
// The sixteen shape items: each one is a handful of local warps anchored at landmarks and
// scaled by the face's own measures, added to a shared warp field.
#include "BeautyItems.h"
#include "FaceGeometry.h"
#include "WarpField.h"

namespace beauty {

class FaceReshaper {
public:
    // True when any shape item is away from its neutral level.
    static bool isActive(const BeautyLevels& levels);
    // Adds the warps of every active shape item for one face.
    static void addWarps(const FaceGeometry& face, const BeautyLevels& levels, WarpField& field);
};

} // namespace beauty
