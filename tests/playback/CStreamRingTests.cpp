// The stream ring: wrapping writes and reads, and the operations that only
// work while it is linear.
#include <gtest/gtest.h>

#include <string>

#include "CStreamRing.h"
#include "TestHttpServer.h"

namespace orvi::test {
namespace {

const BYTE* Bytes(const std::string& text) { return reinterpret_cast<const BYTE*>(text.data()); }

std::string Take(CStreamRing& ring, int n) {
    std::string out(static_cast<size_t>(n), '\0');
    out.resize(static_cast<size_t>(ring.Read(reinterpret_cast<BYTE*>(out.data()), n)));
    return out;
}

class StreamRing : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_ring.Allocate(10)); }
    CStreamRing m_ring;
};

TEST_F(StreamRing, WritesWholeOrNothingAndReadsInOrder) {
    EXPECT_EQ(10u, m_ring.Capacity());
    EXPECT_EQ(6, m_ring.Write(Bytes("abcdef"), 6));
    EXPECT_EQ(0, m_ring.Write(Bytes("ghijk"), 5));  // 4 bytes of room only
    EXPECT_EQ(6u, m_ring.Filled());
    EXPECT_EQ(4, m_ring.Write(Bytes("ghij"), 4));
    EXPECT_EQ(0, m_ring.Write(Bytes("k"), 1));
    EXPECT_EQ("abc", Take(m_ring, 3));
    EXPECT_EQ("defghij", Take(m_ring, 20));
    EXPECT_EQ("", Take(m_ring, 5));
    EXPECT_EQ(0u, m_ring.Filled());
}

TEST_F(StreamRing, WrapsAroundTheEndAndThenStopsBeingLinear) {
    ASSERT_EQ(8, m_ring.Write(Bytes(PatternBytes(0, 8)), 8));
    EXPECT_EQ(PatternBytes(0, 6), Take(m_ring, 6));
    EXPECT_TRUE(m_ring.IsLinear());
    // 2 bytes fit before the end, 4 go to the base.
    ASSERT_EQ(6, m_ring.Write(Bytes(PatternBytes(8, 6)), 6));
    EXPECT_FALSE(m_ring.IsLinear());
    EXPECT_EQ(8u, m_ring.Filled());
    std::string peeked(8, '\0');
    EXPECT_EQ(8, m_ring.Peek(reinterpret_cast<BYTE*>(peeked.data()), 8));
    EXPECT_EQ(PatternBytes(6, 8), peeked);
    EXPECT_EQ(PatternBytes(6, 8), Take(m_ring, 8));
    // Linear-only operations refuse a wrapped ring.
    EXPECT_EQ(-1, m_ring.Rewind(0));
    EXPECT_EQ(-1, m_ring.Keep(Bytes("x"), 1));
    m_ring.Reset();
    EXPECT_TRUE(m_ring.IsLinear());
    EXPECT_EQ(0, m_ring.Rewind(0));
}

TEST_F(StreamRing, KeepAndRewindReplayConsumedBytes) {
    ASSERT_EQ(4, m_ring.Write(Bytes("abcd"), 4));
    EXPECT_EQ(-1, m_ring.Keep(Bytes("ef"), 2));  // bytes still unread
    EXPECT_EQ("abcd", Take(m_ring, 4));
    EXPECT_EQ(2, m_ring.Keep(Bytes("ef"), 2));
    EXPECT_EQ(0u, m_ring.Filled());
    EXPECT_EQ(6u, m_ring.Stored());
    EXPECT_EQ(-1, m_ring.Keep(Bytes("ghijk"), 5));  // past the end
    EXPECT_EQ(2, m_ring.Rewind(2));
    EXPECT_EQ(4u, m_ring.Filled());
    EXPECT_EQ("cdef", Take(m_ring, 10));
    EXPECT_EQ(-1, m_ring.Rewind(7));  // beyond the write pointer
    EXPECT_EQ(6, m_ring.Rewind(6));
    EXPECT_EQ(0u, m_ring.Filled());
    EXPECT_EQ(0, m_ring.Rewind(0));
    EXPECT_EQ("abcdef", Take(m_ring, 10));
}

TEST_F(StreamRing, CommitCountsBytesWrittenInPlaceAndWraps) {
    DWORD room = 0;
    BYTE* space = m_ring.WriteSpace(&room);
    ASSERT_NE(nullptr, space);
    EXPECT_EQ(10u, room);
    std::memcpy(space, "0123456789", 10);
    EXPECT_EQ(-1, m_ring.Commit(11));
    EXPECT_EQ(10, m_ring.Commit(10));
    EXPECT_EQ(nullptr, m_ring.WriteSpace(&room));
    EXPECT_EQ(0u, room);
    EXPECT_EQ("01234", Take(m_ring, 5));
    // The write pointer stands at the end: the room is at the base.
    space = m_ring.WriteSpace(&room);
    EXPECT_EQ(5u, room);
    std::memcpy(space, "abc", 3);
    EXPECT_EQ(3, m_ring.Commit(3));
    EXPECT_FALSE(m_ring.IsLinear());
    EXPECT_EQ("56789abc", Take(m_ring, 10));
}

TEST_F(StreamRing, TerminateWritesBehindTheDataOnlyWhileLinear) {
    ASSERT_TRUE(m_ring.Allocate(4));
    ASSERT_EQ(4, m_ring.Write(Bytes("abcd"), 4));
    m_ring.Terminate();  // into the guard byte: the data stays whole
    EXPECT_EQ("ab", Take(m_ring, 2));
    ASSERT_EQ(2, m_ring.Write(Bytes("ef"), 2));
    m_ring.Terminate();  // wrapped: "ef" sits at the base, nothing may change
    EXPECT_EQ("cdef", Take(m_ring, 4));
}

TEST_F(StreamRing, AllocateReplacesStorageAndEmptiesTheRing) {
    ASSERT_EQ(5, m_ring.Write(Bytes("abcde"), 5));
    ASSERT_TRUE(m_ring.Allocate(3));
    EXPECT_EQ(3u, m_ring.Capacity());
    EXPECT_EQ(0u, m_ring.Filled());
    EXPECT_EQ(0, m_ring.Write(Bytes("abcd"), 4));
    EXPECT_EQ(3, m_ring.Write(Bytes("xyz"), 3));
    EXPECT_EQ("xyz", Take(m_ring, 3));
    CStreamRing empty;
    EXPECT_EQ(0, empty.Write(Bytes("a"), 1));
    EXPECT_EQ(0, empty.Read(nullptr, 1));
    EXPECT_EQ(-1, empty.Rewind(0));
}

}  // namespace
}  // namespace orvi::test
