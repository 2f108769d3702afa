#pragma once
// The operating system's own report of which instruction-set extensions it lets programs run
// (it must save their registers on task switches). Stands in for executing a trial instruction
// under a structured-exception guard.

namespace lumora::platform {

enum class CpuExtension { Mmx, Sse, Sse2, Amd3DNow };

// True when the system reports the extension usable. Any thread.
bool OsSupportsExtension(CpuExtension extension);

}  // namespace lumora::platform
