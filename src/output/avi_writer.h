#pragma once
// Uncompressed 24-bit AVI recording.

namespace lumora {

class AviWriter {};

}  // namespace lumora
