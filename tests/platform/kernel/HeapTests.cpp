// Private heaps and the process heap.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "platform.h"

namespace {

constexpr DWORD kUntouched = 0xC0DE;
constexpr SIZE_T kNoSize = static_cast<SIZE_T>(-1);

bool AllBytesAre(const void* block, SIZE_T size, unsigned char value) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    return std::all_of(bytes, bytes + size, [value](unsigned char b) { return b == value; });
}

}  // namespace

TEST(HeapCreate, MaximumBoundsTheLiveAllocations) {
    HANDLE heap = HeapCreate(0, 0, 1000);
    ASSERT_NE(heap, nullptr);
    void* a = HeapAlloc(heap, 0, 600);
    ASSERT_NE(a, nullptr);
    SetLastError(kUntouched);
    EXPECT_EQ(HeapAlloc(heap, 0, 401), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    ASSERT_NE(HeapAlloc(heap, 0, 400), nullptr);  // exactly up to the maximum
    EXPECT_TRUE(HeapFree(heap, 0, a));
    EXPECT_NE(HeapAlloc(heap, 0, 600), nullptr);
    EXPECT_TRUE(HeapDestroy(heap));

    EXPECT_EQ(HeapCreate(0, 2000, 1000), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(HeapCreate(0x40000000, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(HeapAlloc, ZeroMemoryFlagClearsReusedBlocksAndEmptyBlocksTakeNoRoom) {
    HANDLE heap = HeapCreate(0, 0, 256);
    ASSERT_NE(heap, nullptr);
    for (int i = 0; i < 8; ++i) {
        void* dirty = HeapAlloc(heap, 0, 256);
        ASSERT_NE(dirty, nullptr);
        std::memset(dirty, 0xAB, 256);
        EXPECT_TRUE(HeapFree(heap, 0, dirty));
        void* clean = HeapAlloc(heap, HEAP_ZERO_MEMORY, 256);
        ASSERT_NE(clean, nullptr);
        EXPECT_TRUE(AllBytesAre(clean, 256, 0));
        EXPECT_TRUE(HeapFree(heap, 0, clean));
    }
    void* a = HeapAlloc(heap, 0, 0);
    void* b = HeapAlloc(heap, 0, 0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(HeapSize(heap, 0, a), 0u);
    EXPECT_NE(HeapAlloc(heap, 0, 256), nullptr);
    EXPECT_TRUE(HeapDestroy(heap));
}

TEST(HeapSize, AnswersTheRequestedSize) {
    HANDLE heap = HeapCreate(0, 0, 0);
    ASSERT_NE(heap, nullptr);
    SetLastError(kUntouched);
    for (SIZE_T size : {SIZE_T{1}, SIZE_T{13}, SIZE_T{100001}}) {
        void* block = HeapAlloc(heap, 0, size);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(HeapSize(heap, 0, block), size);
    }
    EXPECT_EQ(GetLastError(), kUntouched);
    int local = 0;
    EXPECT_EQ(HeapSize(heap, 0, &local), kNoSize);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(HeapSize(reinterpret_cast<HANDLE>(0x7fff0000), 0, &local), kNoSize);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(HeapDestroy(heap));
}

TEST(HeapReAlloc, KeepsContentsAndTheMaximum) {
    HANDLE heap = HeapCreate(0, 0, 1000);
    ASSERT_NE(heap, nullptr);
    auto* block = static_cast<unsigned char*>(HeapAlloc(heap, 0, 100));
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x5A, 100);

    auto* grown = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 900));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(HeapSize(heap, 0, grown), 900u);
    EXPECT_TRUE(AllBytesAre(grown, 100, 0x5A));
    EXPECT_TRUE(AllBytesAre(grown + 100, 800, 0));

    // Past the maximum: fails, and the block is still there, unchanged.
    EXPECT_EQ(HeapReAlloc(heap, 0, grown, 1001), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(HeapSize(heap, 0, grown), 900u);
    EXPECT_TRUE(AllBytesAre(grown, 100, 0x5A));

    auto* shrunk = static_cast<unsigned char*>(HeapReAlloc(heap, 0, grown, 10));
    ASSERT_NE(shrunk, nullptr);
    EXPECT_TRUE(AllBytesAre(shrunk, 10, 0x5A));
    EXPECT_NE(HeapAlloc(heap, 0, 990), nullptr);  // the shrinking gave the room back

    int local = 0;
    EXPECT_EQ(HeapReAlloc(heap, 0, &local, 8), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(HeapDestroy(heap));
}

TEST(HeapFree, RefusesBlocksItDoesNotOwn) {
    HANDLE first = HeapCreate(0, 0, 0);
    HANDLE second = HeapCreate(0, 0, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    void* block = HeapAlloc(first, 0, 32);
    ASSERT_NE(block, nullptr);

    EXPECT_FALSE(HeapFree(second, 0, block));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(kUntouched);
    EXPECT_TRUE(HeapFree(first, 0, block));
    EXPECT_TRUE(HeapFree(first, 0, nullptr));
    EXPECT_EQ(GetLastError(), kUntouched);
    EXPECT_FALSE(HeapFree(first, 0, block));  // twice
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(HeapDestroy(first));
    EXPECT_TRUE(HeapDestroy(second));
}

TEST(HeapDestroy, FreesEveryBlockAndInvalidatesTheHandle) {
    // A zero maximum grows without bound; the leak checker of the
    // address-sanitizer build fails this test if a block survives the heap.
    HANDLE heap = HeapCreate(HEAP_NO_SERIALIZE, 4096, 0);
    ASSERT_NE(heap, nullptr);
    for (int i = 0; i < 16; ++i)
        ASSERT_NE(HeapAlloc(heap, 0, (1 << 20) + i), nullptr);
    SetLastError(kUntouched);
    EXPECT_TRUE(HeapDestroy(heap));
    EXPECT_EQ(GetLastError(), kUntouched);
    EXPECT_EQ(HeapAlloc(heap, 0, 8), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(HeapDestroy(heap));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(GetProcessHeap, IsOneHeapForAllThreadsAndCannotBeDestroyed) {
    HANDLE mine = GetProcessHeap();
    ASSERT_NE(mine, nullptr);
    EXPECT_FALSE(HeapDestroy(mine));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    HANDLE theirs = nullptr;
    void* block = nullptr;
    std::thread([&] {
        theirs = GetProcessHeap();
        block = HeapAlloc(theirs, HEAP_ZERO_MEMORY, 48);
    }).join();
    EXPECT_EQ(theirs, mine);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(HeapSize(mine, 0, block), 48u);
    EXPECT_TRUE(HeapFree(mine, 0, block));
}

TEST(HeapAlloc, ConcurrentUseKeepsTheAccountExact) {
    constexpr SIZE_T kMaximum = 4 * 200 * 64;
    HANDLE heap = HeapCreate(0, 0, kMaximum);
    ASSERT_NE(heap, nullptr);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([heap, &failures] {
            for (int round = 0; round < 20; ++round) {
                std::vector<void*> blocks;
                for (int i = 0; i < 200; ++i)
                    blocks.push_back(HeapAlloc(heap, 0, 64));
                for (void* block : blocks) {
                    if (!block || HeapSize(heap, 0, block) != 64 || !HeapFree(heap, 0, block))
                        ++failures;
                }
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_NE(HeapAlloc(heap, 0, kMaximum), nullptr);  // every byte came back
    EXPECT_TRUE(HeapDestroy(heap));
}
