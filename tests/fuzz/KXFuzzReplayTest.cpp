// Every fuzz target over every input of its corpus: the seeds and the
// inputs that once broke the library. A broken check aborts the binary;
// a lost tile block fails the test.

#include "KXTestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#define KX_FUZZ_ENTRY(name) extern "C" int KXFuzzEntry_##name(const uint8_t* data, size_t size);
#include "KXFuzzEntries.inc"
#undef KX_FUZZ_ENTRY

namespace {

struct Target {
    const char* name;
    int (*entry)(const uint8_t*, size_t);
};

const Target kTargets[] = {
#define KX_FUZZ_ENTRY(name) {#name, KXFuzzEntry_##name},
#include "KXFuzzEntries.inc"
#undef KX_FUZZ_ENTRY
};

class FuzzReplay : public testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, RunsEveryCorpusInput)
{
    const Target target = GetParam();
    const QDir corpus(QStringLiteral(KX_FUZZ_CORPUS "/") + QLatin1String(target.name));
    const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty()) << "no corpus for " << target.name << " in " << qPrintable(corpus.path());
    for (const QString& file : files) {
        QFile input(corpus.filePath(file));
        ASSERT_TRUE(input.open(QIODevice::ReadOnly)) << qPrintable(input.fileName());
        const QByteArray bytes = input.readAll();
        SCOPED_TRACE(qPrintable(input.fileName()));
        const KXTest::LogCapture quiet; // refusals log; the lines are not the point here
        EXPECT_EQ(target.entry(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, testing::ValuesIn(kTargets),
                         [](const testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

} // namespace
