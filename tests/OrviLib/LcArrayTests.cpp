#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "LcArray.h"

namespace {

// The four header words in front of the elements: reference count, element
// count, capacity, spare word.
template <class T>
LONG* HeaderOf(CLcArray<T>& array) {
    return reinterpret_cast<LONG*>(reinterpret_cast<uintptr_t>(array.GetData()) - 4 * sizeof(LONG));
}

CLcArray<int> Numbers(int count) {
    CLcArray<int> array;
    for (int i = 0; i < count; ++i)
        array.Add(100 + i);
    return array;
}

struct Record {
    int id;
    WCHAR name[8];
    Record* next;
};

}  // namespace

TEST(CLcArraySharing, CopySharesTheBufferAndCountsIt) {
    CLcArray<int> a = Numbers(3);
    LONG* header = HeaderOf(a);
    EXPECT_EQ(header[0], 1);
    EXPECT_EQ(header[1], 3);
    EXPECT_EQ(header[2], 4);
    {
        CLcArray<int> b = a;
        EXPECT_EQ(b.GetData(), a.GetData());
        EXPECT_EQ(header[0], 2);
        // A shared buffer, not a copy: a write through one is seen by the other.
        b[1] = 42;
        EXPECT_EQ(a[1], 42);
    }
    EXPECT_EQ(header[0], 1);
    ASSERT_EQ(a.GetSize(), 3);
    EXPECT_EQ(a[0], 100);
    EXPECT_EQ(a[1], 42);
    EXPECT_EQ(a[2], 102);
}

TEST(CLcArraySharing, AssignmentReleasesTheOldBufferAndSharesTheNew) {
    CLcArray<int> a = Numbers(2);
    CLcArray<int> b = Numbers(5);
    CLcArray<int> keepB = b;
    LONG* headerA = HeaderOf(a);
    LONG* headerB = HeaderOf(b);
    EXPECT_EQ(headerB[0], 2);
    b = a;
    EXPECT_EQ(b.GetData(), a.GetData());
    EXPECT_EQ(headerA[0], 2);
    EXPECT_EQ(headerB[0], 1);
    EXPECT_EQ(keepB.GetSize(), 5);
    CLcArray<int>& alias = b;
    b = alias;  // self-assignment keeps the count
    EXPECT_EQ(headerA[0], 2);
    b = CLcArray<int>();
    EXPECT_EQ(headerA[0], 1);
    EXPECT_EQ(b.GetData(), nullptr);
    EXPECT_EQ(b.GetSize(), 0);
}

TEST(CLcArraySharing, GrowingWithinTheCapacityIsSeenByEveryCopy) {
    CLcArray<int> a = Numbers(2);
    CLcArray<int> b = a;
    ASSERT_EQ(a.GetCapacity(), 4);
    EXPECT_EQ(a.Add(7), 2);
    EXPECT_EQ(b.GetSize(), 3);
    EXPECT_EQ(b[2], 7);
    a.SetSize(1);
    EXPECT_EQ(b.GetSize(), 1);
}

TEST(CLcArraySharing, GrowingPastTheCapacityDetachesOnlyThatArray) {
    CLcArray<int> a = Numbers(4);
    CLcArray<int> b = a;
    const int* shared = b.GetData();
    EXPECT_EQ(a.Add(9), 4);
    EXPECT_NE(a.GetData(), shared);
    EXPECT_EQ(HeaderOf(a)[0], 1);
    EXPECT_EQ(HeaderOf(b)[0], 1);
    EXPECT_EQ(b.GetData(), shared);
    EXPECT_EQ(b.GetSize(), 4);
    EXPECT_EQ(a.GetSize(), 5);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(a[i], b[i]);
}

TEST(CLcArraySharing, SizeZeroOnOneCopyLeavesTheOtherIntact) {
    CLcArray<int> a = Numbers(3);
    CLcArray<int> b = a;
    a.SetSize(0);
    EXPECT_EQ(a.GetData(), nullptr);
    EXPECT_EQ(a.GetCapacity(), 0);
    ASSERT_EQ(b.GetSize(), 3);
    EXPECT_EQ(HeaderOf(b)[0], 1);
    EXPECT_EQ(b[2], 102);
}

TEST(CLcArraySharing, CopiesMadeAndDroppedOnSeveralThreadsKeepTheCount) {
    CLcArray<int> a = Numbers(10);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&a] {
            for (int i = 0; i < 20000; ++i) {
                CLcArray<int> copy = a;
                CLcArray<int> second;
                second = copy;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(HeaderOf(a)[0], 1);
    EXPECT_EQ(a[9], 109);
}

TEST(CLcArrayGrowth, CapacityAfterEachAddFollowsTheGrowthRule) {
    CLcArray<int> array;
    int capacity = 0;
    for (int count = 0; count < 20000; ++count) {
        // Growing past the capacity allocates
        // max(capacity + min(max(count / 8, 4), 1024), requested size).
        if (count + 1 > capacity)
            capacity = std::max(capacity + std::min(std::max(count / 8, 4), 1024), count + 1);
        ASSERT_EQ(array.Add(count), count);
        ASSERT_EQ(array.GetCapacity(), capacity) << "after adding element " << count;
    }
    for (int i = 0; i < 20000; ++i)
        ASSERT_EQ(array[i], i);
}

TEST(CLcArrayGrowth, FirstCapacitiesWorkedByHand) {
    // 0 -> +4 up to 36, then count/8: 40 -> 45 -> 50 -> 56 -> 63 -> 70 -> 78.
    const int expected[] = {4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 45, 50, 56, 63, 70, 78};
    std::vector<int> seen;
    CLcArray<int> array;
    while (seen.size() < std::size(expected)) {
        array.Add(0);
        if (seen.empty() || seen.back() != array.GetCapacity())
            seen.push_back(array.GetCapacity());
    }
    EXPECT_EQ(seen, std::vector<int>(std::begin(expected), std::end(expected)));
}

TEST(CLcArrayGrowth, StepIsCappedAt1024) {
    CLcArray<char> array;
    ASSERT_TRUE(array.SetSize(16384));
    EXPECT_EQ(array.GetCapacity(), 16384);
    ASSERT_TRUE(array.SetSize(16385));
    EXPECT_EQ(array.GetCapacity(), 16384 + 1024);
}

TEST(CLcArrayGrowth, RequestedSizeWinsOverTheStep) {
    CLcArray<int> array;
    ASSERT_TRUE(array.SetSize(100));
    EXPECT_EQ(array.GetCapacity(), 100);
    ASSERT_TRUE(array.SetSize(101));
    EXPECT_EQ(array.GetCapacity(), 112);  // 100 + 100 / 8
    ASSERT_TRUE(array.SetSize(500));
    EXPECT_EQ(array.GetCapacity(), 500);
}

TEST(CLcArrayGrowth, StepComesFromTheElementCountNotTheCapacity) {
    CLcArray<int> array;
    ASSERT_TRUE(array.SetSize(400));
    ASSERT_TRUE(array.SetSize(16));
    ASSERT_EQ(array.GetCapacity(), 400);
    ASSERT_TRUE(array.SetSize(401));
    EXPECT_EQ(array.GetCapacity(), 404);  // 400 + max(16 / 8, 4), not 400 + 400 / 8
}

TEST(CLcArrayGrowth, SpareHeaderWordIsCarriedToTheNewBuffer) {
    CLcArray<int> array = Numbers(4);
    HeaderOf(array)[3] = 0x5A5A1234;
    array.Add(1);
    EXPECT_EQ(HeaderOf(array)[2], 8);
    EXPECT_EQ(HeaderOf(array)[3], 0x5A5A1234);
}

TEST(CLcArrayGrowth, NewSlotsPastTheCapacityAreZero) {
    CLcArray<int> array = Numbers(4);
    ASSERT_TRUE(array.SetSize(10));
    ASSERT_EQ(array.GetSize(), 10);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(array[i], 100 + i);
    for (int i = 4; i < 10; ++i)
        EXPECT_EQ(array[i], 0) << i;
}

TEST(CLcArrayGrowth, NewSlotsWithinTheCapacityAreZeroedInPlace) {
    CLcArray<Record> array;
    ASSERT_TRUE(array.SetSize(50));
    for (auto& record : array) {
        record.id = -1;
        record.name[0] = u'x';
        record.next = &record;
    }
    const Record* data = array.GetData();
    ASSERT_TRUE(array.SetSize(10));
    ASSERT_TRUE(array.SetSize(50));
    EXPECT_EQ(array.GetData(), data);
    EXPECT_EQ(array.GetCapacity(), 50);
    EXPECT_EQ(array[9].id, -1);
    for (int i = 10; i < 50; ++i) {
        EXPECT_EQ(array[i].id, 0);
        EXPECT_EQ(array[i].name[0], 0);
        EXPECT_EQ(array[i].next, nullptr);
    }
}

TEST(CLcArrayGrowth, ShrinkingKeepsBufferAndCapacity) {
    CLcArray<int> array = Numbers(20);
    const int capacity = array.GetCapacity();
    const int* data = array.GetData();
    ASSERT_TRUE(array.SetSize(3));
    EXPECT_EQ(array.GetSize(), 3);
    EXPECT_EQ(array.GetCapacity(), capacity);
    EXPECT_EQ(array.GetData(), data);
    EXPECT_EQ(array[2], 102);
}

TEST(CLcArrayGrowth, SizeZeroReleasesTheBuffer) {
    CLcArray<int> array = Numbers(20);
    ASSERT_TRUE(array.SetSize(0));
    EXPECT_EQ(array.GetData(), nullptr);
    EXPECT_EQ(array.GetCapacity(), 0);
    EXPECT_TRUE(array.IsEmpty());
    EXPECT_EQ(array.Add(5), 0);
    EXPECT_EQ(array.GetCapacity(), 4);
}

TEST(CLcArrayGrowth, NegativeSizeIsRefused) {
    CLcArray<int> array = Numbers(3);
    EXPECT_FALSE(array.SetSize(-1));
    EXPECT_EQ(array.GetSize(), 3);
}

TEST(CLcArrayEdit, AddCopiesAnElementOfTheSameArrayAcrossGrowth) {
    CLcArray<int> array = Numbers(4);
    EXPECT_EQ(array.Add(array[0]), 4);
    EXPECT_EQ(array[4], 100);
    ASSERT_TRUE(array.InsertAt(0, array[4]));
    EXPECT_EQ(array[0], 100);
}

TEST(CLcArrayEdit, InsertAtFrontMiddleAndEnd) {
    CLcArray<int> array = Numbers(3);
    ASSERT_TRUE(array.InsertAt(0, 1));
    ASSERT_TRUE(array.InsertAt(2, 2));
    ASSERT_TRUE(array.InsertAt(5, 3));
    const int expected[] = {1, 100, 2, 101, 102, 3};
    ASSERT_EQ(array.GetSize(), 6);
    EXPECT_TRUE(std::equal(array.begin(), array.end(), std::begin(expected)));
    EXPECT_FALSE(array.InsertAt(7, 4));
    EXPECT_FALSE(array.InsertAt(-1, 4));
    EXPECT_EQ(array.GetSize(), 6);
}

TEST(CLcArrayEdit, InsertAtIntoAnEmptyArray) {
    CLcArray<int> array;
    ASSERT_TRUE(array.InsertAt(0, 8));
    EXPECT_EQ(array.GetSize(), 1);
    EXPECT_EQ(array[0], 8);
}

TEST(CLcArrayEdit, RemoveAtClosesTheGap) {
    CLcArray<int> array = Numbers(6);
    ASSERT_TRUE(array.RemoveAt(1, 2));
    const int expected[] = {100, 103, 104, 105};
    ASSERT_EQ(array.GetSize(), 4);
    EXPECT_TRUE(std::equal(array.begin(), array.end(), std::begin(expected)));
    ASSERT_TRUE(array.RemoveAt(3));
    EXPECT_EQ(array.GetSize(), 3);
    EXPECT_EQ(array[2], 104);
}

TEST(CLcArrayEdit, RemoveAtOutsideTheArrayRemovesNothing) {
    CLcArray<int> array = Numbers(3);
    EXPECT_FALSE(array.RemoveAt(3));
    EXPECT_FALSE(array.RemoveAt(1, 3));
    EXPECT_FALSE(array.RemoveAt(-1));
    EXPECT_FALSE(array.RemoveAt(0, -1));
    EXPECT_EQ(array.GetSize(), 3);
    EXPECT_TRUE(array.RemoveAt(3, 0));
}

TEST(CLcArrayEdit, RemovingEverythingReleasesTheBuffer) {
    CLcArray<int> array = Numbers(3);
    ASSERT_TRUE(array.RemoveAt(0, 3));
    EXPECT_EQ(array.GetData(), nullptr);
    array = Numbers(2);
    array.RemoveAll();
    EXPECT_EQ(array.GetData(), nullptr);
}

TEST(CLcArrayEdit, FindReturnsTheFirstMatch) {
    Record first{}, second{};
    CLcArray<Record*> records;
    records.Add(&first);
    records.Add(&second);
    records.Add(&first);
    EXPECT_EQ(records.Find(&first), 0);
    EXPECT_EQ(records.Find(&second), 1);
    EXPECT_EQ(records.Find(nullptr), -1);
    EXPECT_EQ(CLcArray<int>().Find(0), -1);
}
