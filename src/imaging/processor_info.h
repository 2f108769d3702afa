#pragma once
// What the processor offers and the operating system can execute. DetectProcessor fills the
// record once when a camera object is initialised; afterwards the record is only read (by the
// frame chain, without locking).
#include <cstdint>

namespace lumora {

// Flags of ProcessorInfo::features and ProcessorInfo::osSupport.
enum : int {
    CPU_MMX = 1,
    CPU_SSE = 2,
    CPU_SSE2 = 4,
    CPU_3DNOW = 8,
    CPU_SSE3 = 16,
    CPU_ECX8 = 32,
};

struct ProcessorInfo {
    char vendor[13] = {};  // CPUID leaf 0 EBX, EDX, ECX and a terminating zero
    char name[30] = {};    // display name only; nothing reads it
    int family = 0;
    int model = 0;
    int stepping = 0;
    int features = 0;   // flags the processor reports
    int osSupport = 0;  // flags the operating system lets run
    int validMask = 0;  // 63 once written
};

// Registers returned by one CPUID leaf.
struct CpuidRegisters {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

// Where detection takes its facts from. The default one executes CPUID and asks the operating
// system; tests substitute their own.
class ProcessorProbe {
public:
    virtual ~ProcessorProbe() = default;
    virtual bool HasCpuid() const = 0;
    virtual CpuidRegisters Cpuid(uint32_t leaf) const = 0;
    // Whether the instructions of one flag (CPU_MMX, CPU_SSE, CPU_SSE2, CPU_3DNOW) can run.
    virtual bool CanExecute(int flag) const = 0;
};

// Fills *info (when not null) and returns the features word; 0 and *info untouched when the
// processor has no CPUID (every processor that is not x86). Thread that initialises the camera.
int DetectProcessor(ProcessorInfo* info);
int DetectProcessor(ProcessorInfo* info, const ProcessorProbe& probe);

// Which variant of a vectorised pixel routine to run.
enum class VectorLevel { Plain, Mmx, Sse2 };
// SSE2 when both flag words hold CPU_SSE2, else MMX when both hold CPU_MMX, else plain.
VectorLevel ChooseVectorLevel(const ProcessorInfo& info);

// The processor this process runs on, detected once on first use. Any thread.
const ProcessorInfo& HostProcessor();

}  // namespace lumora
