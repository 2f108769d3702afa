#include "imaging/processor_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace lumora {
namespace {

// A processor made of register values; flags in refused fail their execution test.
class FakeProbe : public ProcessorProbe {
public:
    bool hasCpuid = true;
    std::map<uint32_t, CpuidRegisters> leaves;
    int refused = 0;

    FakeProbe() {
        // "GenuineIntel": EBX "Genu", EDX "ineI", ECX "ntel".
        leaves[0] = {1, 0x756e6547, 0x6c65746e, 0x49656e69};
        leaves[0x80000000u] = {0x80000001u, 0, 0, 0};
    }
    bool HasCpuid() const override { return hasCpuid; }
    CpuidRegisters Cpuid(uint32_t leaf) const override {
        auto it = leaves.find(leaf);
        return it == leaves.end() ? CpuidRegisters{} : it->second;
    }
    bool CanExecute(int flag) const override { return (refused & flag) == 0; }
};

constexpr uint32_t kMmx = 1u << 23, kSse = 1u << 25, kSse2 = 1u << 26;

TEST(ProcessorInfo, ReportsFlagsAndSignature) {
    FakeProbe p;
    p.leaves[1] = {0x00000F29, 0, 1u | (1u << 8), kMmx | kSse | kSse2};
    p.leaves[0x80000001u] = {0, 0, 0, 1u << 31};
    ProcessorInfo info;
    EXPECT_EQ(DetectProcessor(&info, p), 63);
    EXPECT_STREQ(info.vendor, "GenuineIntel");
    EXPECT_EQ(info.family, 15);  // 0xF with extended family 0
    EXPECT_EQ(info.model, 2);
    EXPECT_EQ(info.stepping, 9);
    EXPECT_EQ(info.osSupport, 63);
    EXPECT_EQ(info.validMask, 63);
    EXPECT_STREQ(info.name, "Pentium 4");
    EXPECT_EQ(ChooseVectorLevel(info), VectorLevel::Sse2);

    p.leaves[1].eax = 0x00100F00;  // extended family 1
    ASSERT_EQ(DetectProcessor(&info, p), 63);
    EXPECT_EQ(info.family, 31);
    EXPECT_EQ(DetectProcessor(nullptr, p), 63);
}

TEST(ProcessorInfo, FaultingExtensionStaysOutOfOsSupport) {
    FakeProbe p;
    p.leaves[1] = {0x00000686, 0, 0, kMmx | kSse | kSse2};
    p.refused = CPU_SSE2 | CPU_SSE;
    ProcessorInfo info;
    EXPECT_EQ(DetectProcessor(&info, p), CPU_MMX | CPU_SSE | CPU_SSE2);
    EXPECT_EQ(info.osSupport, CPU_MMX);
    EXPECT_EQ(ChooseVectorLevel(info), VectorLevel::Mmx);
    p.refused |= CPU_MMX;
    ASSERT_NE(DetectProcessor(&info, p), 0);
    EXPECT_EQ(ChooseVectorLevel(info), VectorLevel::Plain);
}

TEST(ProcessorInfo, NoExtendedLeafMeansNo3DNow) {
    FakeProbe p;
    p.leaves[0x80000000u] = {0x00000002, 0, 0, 0};
    p.leaves[0x80000001u] = {0, 0, 0, 1u << 31};  // would be read only if announced
    p.leaves[1] = {0x00000543, 0, 0, kMmx};
    ProcessorInfo info;
    EXPECT_EQ(DetectProcessor(&info, p), CPU_MMX);
    EXPECT_STREQ(info.name, "Pentium MMX");
}

TEST(ProcessorInfo, NoCpuidLeavesRecordAlone) {
    FakeProbe p;
    p.hasCpuid = false;
    ProcessorInfo info;
    info.family = 77;
    EXPECT_EQ(DetectProcessor(&info, p), 0);
    EXPECT_EQ(info.family, 77);
    EXPECT_EQ(ChooseVectorLevel(ProcessorInfo{}), VectorLevel::Plain);
}

TEST(ProcessorInfo, UnknownVendorIsNamedUnknown) {
    FakeProbe p;
    p.leaves[0] = {1, 0x41414141, 0x41414141, 0x41414141};
    ProcessorInfo info;
    DetectProcessor(&info, p);
    EXPECT_STREQ(info.vendor, "AAAAAAAAAAAA");
    EXPECT_STREQ(info.name, "Unknown");
}

TEST(ProcessorInfo, HostDetectionAgreesWithItsRecord) {
    ProcessorInfo info;
    const int features = DetectProcessor(&info);
#if defined(__x86_64__)
    EXPECT_NE(features & CPU_SSE2, 0);  // every x86-64 processor has SSE2
    EXPECT_NE(info.osSupport & CPU_SSE2, 0);
    EXPECT_EQ(info.validMask, 63);
#endif
    EXPECT_EQ(info.osSupport & ~features, 0);
    EXPECT_EQ(HostProcessor().features, features);
}

}  // namespace
}  // namespace lumora
