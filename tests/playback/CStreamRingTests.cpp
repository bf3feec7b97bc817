// The stream ring: wrapping writes and reads, and the operations that only
// work while it is linear.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "CStreamRing.h"
#include "TestHttpServer.h"

namespace orvi::test {
namespace {

const BYTE* Bytes(const std::string& text) { return reinterpret_cast<const BYTE*>(text.data()); }

class StreamRing : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_ring.Allocate(10)); }
    int Put(const std::string& text) { return m_ring.Write(Bytes(text), static_cast<int>(text.size())); }
    int Keep(const std::string& text) { return m_ring.Keep(Bytes(text), static_cast<int>(text.size())); }
    std::string Take(int n, bool peek = false) {
        std::string out(static_cast<size_t>(n), '\0');
        BYTE* p = reinterpret_cast<BYTE*>(out.data());
        out.resize(static_cast<size_t>(peek ? m_ring.Peek(p, n) : m_ring.Read(p, n)));
        return out;
    }
    CStreamRing m_ring;
};

TEST_F(StreamRing, WritesWholeOrNothingAndAllocateEmptiesIt) {
    EXPECT_EQ(6, Put("abcdef"));
    EXPECT_EQ(0, Put("ghijk"));  // 4 bytes of room only
    EXPECT_EQ(4, Put("ghij"));
    m_ring.Terminate();  // full and linear: into the guard byte
    EXPECT_EQ("abc", Take(3));
    EXPECT_EQ("defghij", Take(20));
    EXPECT_EQ("", Take(5));
    ASSERT_EQ(5, Put("abcde"));
    ASSERT_TRUE(m_ring.Allocate(3));
    EXPECT_EQ(0, Put("abcd"));
    EXPECT_EQ(3, Put("xyz"));
    EXPECT_EQ("xyz", Take(3));
    CStreamRing empty;
    EXPECT_EQ(0, empty.Write(Bytes("a"), 1));
    EXPECT_EQ(-1, empty.Rewind(0));
}

TEST_F(StreamRing, WrapsAroundTheEndAndRefusesLinearOnlyOperations) {
    ASSERT_EQ(8, Put(PatternBytes(0, 8)));
    EXPECT_EQ(PatternBytes(0, 6), Take(6));
    EXPECT_TRUE(m_ring.IsLinear());
    ASSERT_EQ(8, Put(PatternBytes(8, 8)));  // 2 before the end, 6 at the base
    EXPECT_FALSE(m_ring.IsLinear());
    m_ring.Terminate();  // the write pointer meets unread data: nothing may change
    EXPECT_EQ(PatternBytes(6, 10), Take(10, true));
    EXPECT_EQ(PatternBytes(6, 10), Take(10));
    EXPECT_EQ(-1, m_ring.Rewind(0));
    EXPECT_EQ(-1, Keep("x"));
    m_ring.Reset();
    EXPECT_EQ(0, m_ring.Rewind(0));
}

TEST_F(StreamRing, KeepAndRewindReplayConsumedBytes) {
    ASSERT_EQ(4, Put("abcd"));
    EXPECT_EQ(-1, Keep("ef"));  // bytes still unread
    EXPECT_EQ("abcd", Take(4));
    EXPECT_EQ(2, Keep("ef"));
    EXPECT_EQ(0u, m_ring.Filled());
    EXPECT_EQ(6u, m_ring.Stored());
    EXPECT_EQ(-1, Keep("ghijk"));  // past the end
    EXPECT_EQ(2, m_ring.Rewind(2));
    EXPECT_EQ("cdef", Take(10));
    EXPECT_EQ(-1, m_ring.Rewind(7));  // beyond the write pointer
    EXPECT_EQ(6, m_ring.Rewind(6));
    EXPECT_EQ(0u, m_ring.Filled());
    EXPECT_EQ(0, m_ring.Rewind(0));
    EXPECT_EQ("abcdef", Take(10));
}

TEST_F(StreamRing, CommitCountsBytesWrittenInPlaceAndWraps) {
    DWORD room = 0;
    BYTE* space = m_ring.WriteSpace(&room);
    ASSERT_EQ(10u, room);
    std::memcpy(space, "0123456789", 10);
    EXPECT_EQ(-1, m_ring.Commit(11));
    EXPECT_EQ(10, m_ring.Commit(10));
    EXPECT_EQ(nullptr, m_ring.WriteSpace(&room));
    EXPECT_EQ("01234", Take(5));
    space = m_ring.WriteSpace(&room);  // the write pointer stands at the end: the room is at the base
    ASSERT_EQ(5u, room);
    std::memcpy(space, "abc", 3);
    EXPECT_EQ(3, m_ring.Commit(3));
    EXPECT_FALSE(m_ring.IsLinear());
    EXPECT_EQ("56789abc", Take(10));
}

}  // namespace
}  // namespace orvi::test
