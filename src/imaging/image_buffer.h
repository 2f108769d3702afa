#pragma once
// A device-independent bitmap on which all pixel work runs.

namespace lumora {

class ImageBuffer {};

}  // namespace lumora
