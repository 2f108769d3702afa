#pragma once
// Runs a parameterised test once per instruction set of the row loops (those the machine
// lacks fall back to the next lower one), so that every path is compared with the reference.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "imaging/vector_support.h"

namespace lumora {

class VectorPaths : public ::testing::TestWithParam<RoutineSet> {
protected:
    void SetUp() override { LimitVectorRoutines(GetParam()); }
    void TearDown() override { LimitVectorRoutines(RoutineSet::Avx2); }
};

inline std::string RoutineSetName(const ::testing::TestParamInfo<RoutineSet>& info) {
    switch (info.param) {
        case RoutineSet::Plain: return "Plain";
        case RoutineSet::Sse2: return "Sse2";
        case RoutineSet::Ssse3: return "Ssse3";
        case RoutineSet::Avx2: return "Avx2";
    }
    return "Unknown";
}

inline void PrintTo(RoutineSet set, std::ostream* os) {
    *os << RoutineSetName(::testing::TestParamInfo<RoutineSet>(set, 0));
}

#define LUMORA_EVERY_ROUTINE_SET(suite)                                                        \
    INSTANTIATE_TEST_SUITE_P(EverySet, suite,                                                  \
                             ::testing::Values(RoutineSet::Plain, RoutineSet::Sse2,            \
                                               RoutineSet::Ssse3, RoutineSet::Avx2),           \
                             RoutineSetName)

}  // namespace lumora
