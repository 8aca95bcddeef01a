#include "engine/Pointing.h"

namespace KelpaEngine {

Pointing::~Pointing() = default;

}  // namespace KelpaEngine
