// The progress base of every filter: its meta object, its signals only on
// change, emitted after its lock is released.

#include "KXAdjustmentProcessing.h"

#include <gtest/gtest.h>

#include <QMetaMethod>

#include <vector>

TEST(KXAdjustmentProcessing, MetaObjectListsSignalsThenSlots)
{
    KXAdjustmentProcessing p;
    const QMetaObject* meta = p.metaObject();
    EXPECT_STREQ(meta->className(), "KXAdjustmentProcessing");
    ASSERT_EQ(meta->methodCount() - meta->methodOffset(), 4);
    const struct {
        const char* signature;
        QMetaMethod::MethodType type;
    } expected[] = {{"RangeChanged(int,int)", QMetaMethod::Signal},
                    {"ProgressChanged(int)", QMetaMethod::Signal},
                    {"SetRange(int,int)", QMetaMethod::Slot},
                    {"SetProgressValue(int)", QMetaMethod::Slot}};
    for (int i = 0; i < 4; ++i) {
        const QMetaMethod m = meta->method(meta->methodOffset() + i);
        EXPECT_EQ(m.methodSignature(), QByteArray(expected[i].signature)) << i;
        EXPECT_EQ(m.methodType(), expected[i].type) << i;
    }
}

TEST(KXAdjustmentProcessing, SignalsOnlyOnChangeAfterTheLockIsReleased)
{
    KXAdjustmentProcessing p;
    // A directly connected slot reads the getters: with the own (non-recursive)
    // lock still held for writing this would deadlock.
    std::vector<std::vector<int>> seen;
    QObject::connect(&p, &KXAdjustmentProcessing::RangeChanged, [&](int minimum, int maximum) {
        seen.push_back({0, minimum, maximum, p.GetMinimumRange(), p.GetMaximumRange()});
    });
    QObject::connect(&p, &KXAdjustmentProcessing::ProgressChanged,
                     [&](int value) { seen.push_back({1, value, p.GetRangeValue()}); });

    EXPECT_EQ(p.GetMinimumRange(), 0);
    EXPECT_EQ(p.GetMaximumRange(), 0);
    EXPECT_EQ(p.GetRangeValue(), 0);

    p.SetRange(0, 0);        // the stored range: nothing
    p.SetProgressValue(0);   // the stored value: nothing
    p.SetRange(0, 10);       // the maximum alone changes
    p.SetRange(0, 10);       // again: nothing
    p.SetRange(3, 10);       // the minimum alone changes
    p.SetProgressValue(4);
    p.SetProgressValue(4);   // nothing
    QMetaObject::invokeMethod(&p, "SetProgressValue", Q_ARG(int, 5)); // as a slot
    const std::vector<std::vector<int>> expected = {
        {0, 0, 10, 0, 10}, {0, 3, 10, 3, 10}, {1, 4, 4}, {1, 5, 5}};
    EXPECT_EQ(seen, expected);
}
