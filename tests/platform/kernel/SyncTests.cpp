#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "TestSupport.h"
#include "platform.h"

namespace {

DWORD Signal(LPVOID event) {
    Sleep(20);
    SetEvent(static_cast<HANDLE>(event));
    return 0;
}

}  // namespace

TEST(CreateEventW, AutoResetReleasesOneWaitAtATime) {
    HANDLE event = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 10));
    CloseHandle(event);
}

TEST(CreateEventW, ManualResetStaysSignalledUntilReset) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    SetEvent(event);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    CloseHandle(event);
}

TEST(CreateEventW, NamedEventIsSharedWithinTheProcess) {
    HANDLE first = CreateEventW(nullptr, TRUE, FALSE, u"OrviTestEvent");
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    HANDLE second = CreateEventW(nullptr, FALSE, TRUE, u"orvitestevent");
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_NE(first, second);
    // The second call's initial state did not apply: it is the same event.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(second, 0));
    SetEvent(first);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second, 0));
    CloseHandle(first);
    CloseHandle(second);
}

TEST(OpenEventW, FindsOnlyExistingEvents) {
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenEventW(EVENT_ALL_ACCESS, FALSE, u"NoSuchEvent"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    HANDLE created = CreateEventW(nullptr, TRUE, FALSE, u"OpenMe");
    HANDLE opened = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"OPENME");
    ASSERT_NE(nullptr, opened);
    SetEvent(opened);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(created, 0));
    CloseHandle(created);
    CloseHandle(opened);
    // Once every handle is closed the name is free again.
    EXPECT_EQ(nullptr, OpenEventW(EVENT_ALL_ACCESS, FALSE, u"OpenMe"));
}

TEST(SetEvent, RejectsOtherObjectsAndBadHandles) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    SetLastError(0);
    EXPECT_FALSE(SetEvent(mutex));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(ResetEvent(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(mutex);
}

TEST(WaitForSingleObject, WakesWhenAnotherThreadSignals) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, Signal, event, 0, nullptr);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 10000));
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(event);
}

TEST(WaitForSingleObject, FailsOnAnInvalidHandle) {
    SetLastError(0);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(reinterpret_cast<HANDLE>(uintptr_t{0x4444}), 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(WaitForMultipleObjects, AnyReturnsTheFirstSignalledIndex) {
    HANDLE events[3];
    for (auto& e : events)
        e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SetEvent(events[2]);
    SetEvent(events[1]);
    EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(3, events, FALSE, 0));
    // Only the returned auto-reset event was consumed.
    EXPECT_EQ(WAIT_OBJECT_0 + 2, WaitForMultipleObjects(3, events, FALSE, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForMultipleObjects(3, events, FALSE, 0));
    for (auto e : events)
        CloseHandle(e);
}

TEST(WaitForMultipleObjects, AllWaitsForEveryObjectAndConsumesNoneEarly) {
    HANDLE events[2] = {CreateEventW(nullptr, FALSE, FALSE, nullptr),
                        CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    SetEvent(events[0]);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForMultipleObjects(2, events, TRUE, 10));
    // The failed wait-all left the first event signalled.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(events[0], 0));
    SetEvent(events[0]);
    HANDLE thread = CreateThread(nullptr, 0, Signal, events[1], 0, nullptr);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, events, TRUE, 10000));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForMultipleObjects(2, events, FALSE, 0));
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    for (auto e : events)
        CloseHandle(e);
}

TEST(WaitForMultipleObjects, RejectsBadCounts) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SetLastError(0);
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(0, &event, FALSE, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    HANDLE many[MAXIMUM_WAIT_OBJECTS + 1];
    for (auto& h : many)
        h = event;
    SetLastError(0);
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, many, FALSE, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    CloseHandle(event);
}

TEST(CreateMutexW, IsRecursiveForItsOwnerAndExclusiveForOthers) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
    ASSERT_NE(nullptr, mutex);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
    std::atomic<DWORD> otherResult{0};
    std::thread other([&] { otherResult = WaitForSingleObject(mutex, 0); });
    other.join();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), otherResult.load());
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
    std::thread again([&] {
        otherResult = WaitForSingleObject(mutex, 0);
        ReleaseMutex(mutex);
    });
    again.join();
    EXPECT_EQ(WAIT_OBJECT_0, otherResult.load());
    CloseHandle(mutex);
}

TEST(CreateMutexW, SerialisesThreads) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    int counter = 0;  // protected by the mutex only
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, INFINITE));
                ++counter;
                ReleaseMutex(mutex);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(8000, counter);
    CloseHandle(mutex);
}

// ---- named mutexes across processes -------------------------------------------

namespace {

bool WaitForFile(const std::string& path, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        if (std::ifstream(path).good())
            return true;
        Sleep(5);
    }
    return false;
}

}  // namespace

// Takes the mutex, announces it, and dies holding it when told to.
ORVI_TEST_CHILD_MAIN(HoldNamedMutex) {
    const std::string& dir = args.at(0);
    HANDLE mutex = CreateMutexW(nullptr, TRUE, u"Orvi.Test.Single");
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS)
        return 2;
    std::ofstream(dir + "/held") << "1";
    if (!WaitForFile(dir + "/crash", 20000))
        return 3;
    std::_Exit(9);  // dies holding it: no ReleaseMutex, no CloseHandle
}

class NamedMutexAcrossProcesses : public orvi::test::DeviceRootTest {};

TEST_F(NamedMutexAcrossProcesses, SecondProcessSeesItAndGetsItWhenTheHolderCrashes) {
    const std::string dir = m_root.HostPath();
    orvi::test::ChildProcess child("HoldNamedMutex", {dir});
    ASSERT_TRUE(WaitForFile(dir + "/held", 20000));
    HANDLE mutex = CreateMutexW(nullptr, TRUE, u"orvi.test.SINGLE");
    ASSERT_NE(nullptr, mutex);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    // The initial-owner request of an existing mutex is not granted.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(mutex, 50));
    std::ofstream(dir + "/crash") << "1";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 20000));
    EXPECT_EQ(9, child.Wait());
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST_F(NamedMutexAcrossProcesses, NameIsFreeAgainAfterTheLastHandleCloses) {
    HANDLE first = CreateMutexW(nullptr, FALSE, u"Orvi.Test.Reuse");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    CloseHandle(first);
    HANDLE second = CreateMutexW(nullptr, FALSE, u"Orvi.Test.Reuse");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    CloseHandle(second);
}

TEST(CreateMutexW, NameOfAnEventIsRefused) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, u"Orvi.Test.Taken");
    SetLastError(0);
    EXPECT_EQ(nullptr, CreateMutexW(nullptr, FALSE, u"Orvi.Test.Taken"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(event);
}

TEST(EnterCriticalSection, IsRecursiveAndExcludesOtherThreads) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    std::atomic<BOOL> entered{TRUE};
    std::thread other([&] { entered = TryEnterCriticalSection(&cs); });
    other.join();
    EXPECT_FALSE(entered.load());
    LeaveCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    std::thread again([&] {
        entered = TryEnterCriticalSection(&cs);
        if (entered)
            LeaveCriticalSection(&cs);
    });
    again.join();
    EXPECT_TRUE(entered.load());
    DeleteCriticalSection(&cs);
}

TEST(InterlockedIncrement, CountsExactlyUnderContention) {
    LONG volatile value = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50000; ++i)
                InterlockedIncrement(&value);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(200000, value);
    EXPECT_EQ(199999, InterlockedDecrement(&value));
    EXPECT_EQ(199999, InterlockedCompareExchange(&value, 5, 1));
    EXPECT_EQ(199999, InterlockedCompareExchange(&value, 5, 199999));
    EXPECT_EQ(5, InterlockedExchangeAdd(&value, 10));
    EXPECT_EQ(15, InterlockedExchange(&value, 0));
}
