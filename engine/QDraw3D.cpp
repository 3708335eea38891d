#include "QDraw3D.h"

namespace quelt {

void createSharedQuadric() {}
void deleteSharedQuadric() {}

} // namespace quelt
