#include "imaging/processor_info.h"

#include <cstring>

#include "platform/processor_support.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace lumora {

namespace {

class HostProbe : public ProcessorProbe {
public:
    bool HasCpuid() const override {
#if defined(__i386__) || defined(__x86_64__)
        // Also checks on 32-bit processors that CPUID exists at all (the EFLAGS ID bit).
        return __get_cpuid_max(0, nullptr) != 0;
#else
        return false;
#endif
    }

    CpuidRegisters Cpuid(uint32_t leaf) const override {
        CpuidRegisters r;
#if defined(__i386__) || defined(__x86_64__)
        __cpuid(leaf, r.eax, r.ebx, r.ecx, r.edx);
#else
        (void)leaf;
#endif
        return r;
    }

    bool CanExecute(int flag) const override {
        using platform::CpuExtension;
        switch (flag) {
            case CPU_MMX: return platform::OsSupportsExtension(CpuExtension::Mmx);
            case CPU_SSE: return platform::OsSupportsExtension(CpuExtension::Sse);
            case CPU_SSE2: return platform::OsSupportsExtension(CpuExtension::Sse2);
            case CPU_3DNOW: return platform::OsSupportsExtension(CpuExtension::Amd3DNow);
            default: return false;
        }
    }
};

struct NameEntry {
    int family;
    int model;  // -1: any model of the family
    const char* name;
};

const NameEntry kIntelNames[] = {
    {4, -1, "Intel 486"},         {5, 4, "Pentium MMX"},      {5, -1, "Pentium"},
    {6, 1, "Pentium Pro"},        {6, 3, "Pentium II"},       {6, 5, "Pentium II"},
    {6, 6, "Celeron"},            {6, 7, "Pentium III"},      {6, 8, "Pentium III"},
    {6, 9, "Pentium M"},          {6, 10, "Pentium III Xeon"}, {6, 11, "Pentium III"},
    {6, 13, "Pentium M"},         {6, 14, "Core"},            {6, 15, "Core 2"},
    {6, -1, "Intel P6 family"},   {15, -1, "Pentium 4"},
};
const NameEntry kAmdNames[] = {
    {4, -1, "Am486"},     {5, 6, "K6"},       {5, 7, "K6"},      {5, 8, "K6-2"},
    {5, 9, "K6-III"},     {5, -1, "K5"},      {6, 3, "Duron"},   {6, -1, "Athlon"},
    {15, -1, "Athlon 64"},
};
const NameEntry kCyrixNames[] = {{5, -1, "Cyrix 6x86"}, {6, -1, "Cyrix MII"}};
const NameEntry kCentaurNames[] = {{5, -1, "WinChip"}, {6, -1, "VIA C3"}};

template <size_t N>
const char* FindName(const NameEntry (&list)[N], int family, int model) {
    for (const NameEntry& e : list)
        if (e.family == family && (e.model == -1 || e.model == model)) return e.name;
    return "Unknown";
}

const char* DisplayName(const char* vendor, int family, int model) {
    if (std::strcmp(vendor, "GenuineIntel") == 0) return FindName(kIntelNames, family, model);
    if (std::strcmp(vendor, "AuthenticAMD") == 0) return FindName(kAmdNames, family, model);
    if (std::strcmp(vendor, "CyrixInstead") == 0) return FindName(kCyrixNames, family, model);
    if (std::strcmp(vendor, "CentaurHauls") == 0) return FindName(kCentaurNames, family, model);
    return "Unknown";
}

}  // namespace

int DetectProcessor(ProcessorInfo* info, const ProcessorProbe& probe) {
    if (!probe.HasCpuid()) return 0;
    const CpuidRegisters leaf0 = probe.Cpuid(0);
    char vendor[13] = {};
    std::memcpy(vendor + 0, &leaf0.ebx, 4);
    std::memcpy(vendor + 4, &leaf0.edx, 4);
    std::memcpy(vendor + 8, &leaf0.ecx, 4);
    const CpuidRegisters leaf1 = probe.Cpuid(1);
    uint32_t extendedEdx = 0;
    if (probe.Cpuid(0x80000000u).eax >= 0x80000000u) extendedEdx = probe.Cpuid(0x80000001u).edx;

    struct FlagSource {
        int flag;
        bool reported;
        bool tested;  // false: counted as usable whenever reported
    };
    const FlagSource flags[] = {
        {CPU_MMX, ((leaf1.edx >> 23) & 1) != 0, true},
        {CPU_3DNOW, ((extendedEdx >> 31) & 1) != 0, true},
        {CPU_SSE, ((leaf1.edx >> 25) & 1) != 0, true},
        {CPU_SSE2, ((leaf1.edx >> 26) & 1) != 0, true},
        {CPU_SSE3, (leaf1.ecx & 1) != 0, false},
        {CPU_ECX8, ((leaf1.ecx >> 8) & 1) != 0, false},
    };
    int features = 0, osSupport = 0;
    for (const FlagSource& f : flags) {
        if (!f.reported) continue;
        features |= f.flag;
        if (!f.tested || probe.CanExecute(f.flag)) osSupport |= f.flag;
    }

    if (info != nullptr) {
        *info = ProcessorInfo{};
        const uint32_t signature = leaf1.eax;
        int family = static_cast<int>((signature >> 8) & 0xF);
        if (family == 0xF) family = static_cast<int>((signature >> 20) & 0xFF) * 16 + 15;
        info->family = family;
        info->model = static_cast<int>((signature >> 4) & 0xF);
        info->stepping = static_cast<int>(signature & 0xF);
        info->features = features;
        info->osSupport = osSupport;
        std::memcpy(info->vendor, vendor, sizeof vendor);
        std::strncpy(info->name, DisplayName(vendor, info->family, info->model),
                     sizeof info->name - 1);
        info->validMask = 63;
    }
    return features;
}

int DetectProcessor(ProcessorInfo* info) { return DetectProcessor(info, HostProbe{}); }

VectorLevel ChooseVectorLevel(const ProcessorInfo& info) {
    if ((info.features & info.osSupport & CPU_SSE2) != 0) return VectorLevel::Sse2;
    if ((info.features & info.osSupport & CPU_MMX) != 0) return VectorLevel::Mmx;
    return VectorLevel::Plain;
}

const ProcessorInfo& HostProcessor() {
    static const ProcessorInfo host = [] {
        ProcessorInfo info;
        DetectProcessor(&info);
        return info;
    }();
    return host;
}

}  // namespace lumora
