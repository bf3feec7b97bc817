// The client's small parts: form fields, authentication records and the
// private heap.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "CHttpHeap.h"
#include "COrviHttpAuths.h"
#include "COrviHttpForms.h"

namespace {

TEST(COrviHttpForms, SetReplacesCaseInsensitivelyOrAppends) {
    COrviHttpForms form;
    EXPECT_TRUE(form.Set(u"Name", u"a"));
    EXPECT_TRUE(form.Set(u"city", nullptr));
    EXPECT_TRUE(form.Set(u"NAME", u"b"));
    ASSERT_EQ(2, form.GetSize());
    EXPECT_EQ(u"Name", std::u16string(form[0].name));
    EXPECT_EQ(u"b", std::u16string(form.Get(u"name")));
    EXPECT_EQ(u"", std::u16string(form.Get(u"CITY")));
    EXPECT_EQ(nullptr, form.Get(u"zip"));
    EXPECT_FALSE(form.Set(nullptr, u"x"));
}

TEST(COrviHttpAuths, LastMatchingPrefixWins) {
    COrviHttpAuths auths;
    auths.Add(COrviHttpAuth::Basic, u"http://a/", u"one", u"Authorization: Basic 1");
    auths.Add(COrviHttpAuth::Basic, u"http://a/private/", u"two", u"Authorization: Basic 2");
    auths.Add(COrviHttpAuth::Basic, u"http://a/", u"three", u"");
    ASSERT_NE(nullptr, auths.Match(u"http://a/private/x"));
    EXPECT_EQ(u"three", auths.Match(u"http://a/private/x")->userName);
    EXPECT_EQ(nullptr, auths.Match(u"http://b/"));
    EXPECT_EQ(nullptr, auths.Match(nullptr));
}

TEST(CHttpHeap, ExistsOnlyWhileBlocksAreOutAndKeepsItsLimit) {
    ASSERT_FALSE(CHttpHeap::Exists());
    void* a = CHttpHeap::Alloc(1000);
    void* b = CHttpHeap::Alloc(3000);
    ASSERT_TRUE(a && b);
    EXPECT_GE(CHttpHeap::AllocatedBytes(), 4000u);
    EXPECT_EQ(nullptr, CHttpHeap::Alloc(CHttpHeap::kMaximumSize));
    CHttpHeap::Free(a);
    EXPECT_TRUE(CHttpHeap::Exists());
    CHttpHeap::Free(b);
    EXPECT_FALSE(CHttpHeap::Exists());
    EXPECT_EQ(0u, CHttpHeap::AllocatedBytes());
}

TEST(CHttpHeap, ThreadsAllocatingAndFreeingNeverLoseTheHeap) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 2000; ++i) {
                auto* block = static_cast<unsigned char*>(CHttpHeap::Alloc(64 + t));
                ASSERT_NE(nullptr, block);
                block[0] = static_cast<unsigned char>(i);
                block[63 + t] = static_cast<unsigned char>(t);
                CHttpHeap::Free(block);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_FALSE(CHttpHeap::Exists());
}

}  // namespace
