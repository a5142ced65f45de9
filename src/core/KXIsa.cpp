// The instruction-set switch: one probe of the processor, the KXCORE_ISA
// override and the test hook.

#include "core/KXIsa.h"

#include "core/KXLogMacros.h"

#include <QString>

#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kLogFile = "src/KXIsa";

constexpr int kNoOverride = -1;
std::atomic<int> gTestLevel{kNoOverride};

KXIsa::Level ProbeProcessor()
{
#if defined(KX_ISA_X86)
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    const bool avx512 = avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
                        __builtin_cpu_supports("avx512vbmi");
    if (avx512)
        return KXIsa::Level::Avx512;
    if (avx2)
        return KXIsa::Level::Avx2;
    return KXIsa::Level::Sse2;
#else
    return KXIsa::Level::Plain;
#endif
}

KXIsa::Level Clamp(KXIsa::Level level)
{
    const KXIsa::Level chosen = KXIsa::Chosen();
    return int(level) > int(chosen) ? chosen : level;
}

} // namespace

KXIsa::Level KXIsa::Probed()
{
    static const Level probed = ProbeProcessor();
    return probed;
}

const char* KXIsa::Name(Level level)
{
    switch (level) {
    case Level::Plain:
        return "plain";
    case Level::Sse2:
        return "sse2";
    case Level::Avx2:
        return "avx2";
    case Level::Avx512:
        return "avx512";
    }
    return "plain";
}

KXIsa::Level KXIsa::FromSetting(const char* value, Level probed)
{
    if (!value || !*value)
        return probed;
    for (const Level level : kLevels) {
        if (std::strcmp(value, Name(level)) != 0)
            continue;
        if (int(level) <= int(probed))
            return level;
        KX_LOG_REPORT(kLogFile, QStringLiteral("KXCORE_ISA=%1: the processor lacks it, using %2")
                                    .arg(QString::fromLatin1(value), QString::fromLatin1(Name(probed))));
        return probed;
    }
    KX_LOG_REPORT(kLogFile, QStringLiteral("KXCORE_ISA=%1 is not one of plain, sse2, avx2, avx512: using %2")
                                .arg(QString::fromLocal8Bit(value), QString::fromLatin1(Name(probed))));
    return probed;
}

KXIsa::Level KXIsa::Chosen()
{
    static const Level chosen = FromSetting(std::getenv("KXCORE_ISA"), Probed());
    return chosen;
}

KXIsa::Level KXIsa::Current()
{
    const int forced = gTestLevel.load(std::memory_order_relaxed);
    return forced != kNoOverride ? Level(forced) : Chosen();
}

void KXIsa::SetForTesting(Level level)
{
    gTestLevel.store(int(Clamp(level)), std::memory_order_relaxed);
}

void KXIsa::ClearForTesting()
{
    gTestLevel.store(kNoOverride, std::memory_order_relaxed);
}
