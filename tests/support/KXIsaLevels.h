#ifndef KXISALEVELS_H
#define KXISALEVELS_H

// Tests of fast paths over every instruction-set level: derive the fixture
// from KXIsaLevelTest (or use it directly with TEST_P) and instantiate it
// with KX_INSTANTIATE_ISA_LEVELS. Each test runs with its level in use and
// the previous choice restored afterwards; a level this processor (or
// KXCORE_ISA) does not allow is skipped, never passed.

#include "core/KXIsa.h"

#include <gtest/gtest.h>

#include <string>

class KXIsaLevelTest : public testing::TestWithParam<KXIsa::Level> {
protected:
    void SetUp() override
    {
        if (int(GetParam()) > int(KXIsa::Chosen()))
            GTEST_SKIP() << "level " << KXIsa::Name(GetParam()) << " is above this run's "
                         << KXIsa::Name(KXIsa::Chosen());
        KXIsa::SetForTesting(GetParam());
    }
    void TearDown() override { KXIsa::ClearForTesting(); }

    KXIsa::Level Level() const { return GetParam(); }
};

inline std::string KXIsaLevelName(const testing::TestParamInfo<KXIsa::Level>& info)
{
    return KXIsa::Name(info.param);
}

#define KX_INSTANTIATE_ISA_LEVELS(Suite) \
    INSTANTIATE_TEST_SUITE_P(Isa, Suite, testing::ValuesIn(KXIsa::kLevels), KXIsaLevelName)

// For suites whose reference is the plain rule itself: the levels above it.
#define KX_INSTANTIATE_ISA_VECTOR_LEVELS(Suite)                                                                \
    INSTANTIATE_TEST_SUITE_P(Isa, Suite, testing::Values(KXIsa::Level::Sse2, KXIsa::Level::Avx2, KXIsa::Level::Avx512), \
                             KXIsaLevelName)

#endif // KXISALEVELS_H
