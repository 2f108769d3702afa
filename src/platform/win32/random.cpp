#include "platform/random.h"

#include <cstdlib>

namespace lumora::platform {

int RuntimeRandom() { return std::rand(); }

}  // namespace lumora::platform
