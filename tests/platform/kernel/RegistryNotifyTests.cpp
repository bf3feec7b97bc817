// Registry change notifications: callbacks with the new data for changes of
// this process and of another one, conditions, deletion, closing, the event
// form and the notification thread's life.
//
// "Nothing was reported" is checked without timing: a barrier changes a
// sentinel value twice and waits for both callbacks. The notification thread
// delivers the changes of one look before it takes the next, so once the
// second sentinel callback has arrived every change made before the barrier
// has been delivered, or was never going to be.
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "RegistryTestSupport.h"

using namespace orvi::test::registry;
using orvi::test::ChildProcess;
using orvi::test::TempDeviceRoot;

namespace {

constexpr DWORD kGenerousMs = 10000;

struct Call {
    HREGNOTIFY handle;
    std::optional<std::vector<BYTE>> data;  // nullopt: called with NULL
    UINT cbData;
    std::thread::id thread;
};

class Recorder;
std::mutex g_tableLock;
std::map<DWORD, Recorder*> g_table;
DWORD g_nextId = 0;

// Collects the callbacks of the notifications opened with its Id() as
// dwUserData (a DWORD cannot carry a pointer, hence the table).
class Recorder {
public:
    Recorder() {
        std::lock_guard guard(g_tableLock);
        g_table[m_id = ++g_nextId] = this;
    }
    ~Recorder() {
        std::lock_guard guard(g_tableLock);
        g_table.erase(m_id);
    }
    DWORD Id() const { return m_id; }

    // A callback for a recorder already gone (a failed test left its
    // notification open) is dropped.
    static void Callback(HREGNOTIFY handle, DWORD userData, const PBYTE data, const UINT cbData) {
        std::lock_guard guard(g_tableLock);
        if (auto it = g_table.find(userData); it != g_table.end())
            it->second->Record(handle, data, cbData);
    }
    bool WaitFor(size_t count) {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(kGenerousMs),
                                  [&] { return m_calls.size() >= count; });
    }
    size_t Count() {
        std::lock_guard guard(m_lock);
        return m_calls.size();
    }
    Call At(size_t index) {
        std::lock_guard guard(m_lock);
        return m_calls.at(index);
    }
    // Runs inside the callback, on the notification thread.
    std::function<void(HREGNOTIFY)> onCall;

private:
    void Record(HREGNOTIFY handle, const PBYTE data, UINT cbData) {
        Call call{handle, std::nullopt, cbData, std::this_thread::get_id()};
        if (data)
            call.data = std::vector<BYTE>(data, data + cbData);
        if (onCall)
            onCall(handle);
        std::lock_guard guard(m_lock);
        m_calls.push_back(std::move(call));
        m_changed.notify_all();
    }

    DWORD m_id;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Call> m_calls;
};

std::vector<BYTE> StringBytes(std::u16string_view text) {
    std::u16string stored(text);
    auto* p = reinterpret_cast<const BYTE*>(stored.c_str());
    return std::vector<BYTE>(p, p + (stored.size() + 1) * 2);
}

std::vector<BYTE> DwordBytes(DWORD value) {
    auto* p = reinterpret_cast<const BYTE*>(&value);
    return std::vector<BYTE>(p, p + 4);
}

HRESULT Watch(const char16_t* subKey, const char16_t* value, Recorder& recorder, HREGNOTIFY* handle,
              NOTIFICATIONCONDITION* condition = nullptr) {
    return RegistryNotifyCallback(HKEY_LOCAL_MACHINE, subKey, value, Recorder::Callback, recorder.Id(), condition,
                                  handle);
}

// A sentinel value under its own key whose callbacks mark the end of
// everything changed before (see the top of the file).
class Barrier {
public:
    Barrier() {
        EXPECT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Sentinel", &m_key));
        EXPECT_EQ(S_OK, Watch(u"Software\\Sentinel", u"Tick", m_recorder, &m_handle));
    }
    ~Barrier() { RegistryCloseNotification(m_handle); }
    void Pass() {
        for (int round = 0; round < 2; ++round) {
            size_t seen = m_recorder.Count();
            ASSERT_EQ(ERROR_SUCCESS, SetDword(m_key, u"Tick", ++m_tick));
            ASSERT_TRUE(m_recorder.WaitFor(seen + 1));
        }
    }

private:
    ScopedKey m_key;
    Recorder m_recorder;
    HREGNOTIFY m_handle = nullptr;
    DWORD m_tick = 0;
};

// Threads of this process named as the registry's notification thread.
int NotificationThreads() {
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        count += std::getline(comm, name) && name == "orvi-regnotify";
    }
    return count;
}

// A joined thread can stay listed for a moment while the host reaps it.
bool NotificationThreadsBecome(int count) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGenerousMs);
    while (NotificationThreads() != count) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

constexpr DWORD kSet = WAIT_OBJECT_0, kUnset = WAIT_TIMEOUT;
DWORD Wait(HANDLE event, DWORD ms = 0) { return WaitForSingleObject(event, ms); }

}  // namespace

// args: the new "PlayingTitle".
ORVI_TEST_CHILD_MAIN(RegistrySetTitle) {
    ScopedKey key;
    if (CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key) != ERROR_SUCCESS)
        return 10;
    std::u16string title(args.at(0).begin(), args.at(0).end());
    return SetString(key, u"PlayingTitle", title) == ERROR_SUCCESS ? 0 : 11;
}

TEST(RegistryNotifyCallback, ReportsNewDataOfChangesHereAndInAnotherProcessUntilClosed) {
    TempDeviceRoot root;
    ScopedKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"PlayingTitle", u"Before"));
    Barrier barrier;
    Recorder recorder;
    HREGNOTIFY handle = nullptr;
    ASSERT_EQ(S_OK, Watch(kCalvaroKey, u"playingtitle", recorder, &handle));
    ASSERT_NE(nullptr, handle);

    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"PlayingTitle", u"Song A"));
    ASSERT_TRUE(recorder.WaitFor(1));
    Call first = recorder.At(0);
    EXPECT_EQ(handle, first.handle);
    EXPECT_EQ(StringBytes(u"Song A"), first.data);
    EXPECT_EQ(14u, first.cbData);
    EXPECT_NE(std::this_thread::get_id(), first.thread);

    // An unrelated value, then the same data again: neither is reported.
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"PlayingStation", u"Station"));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"PlayingTitle", u"Song A"));
    barrier.Pass();
    EXPECT_EQ(1u, recorder.Count());
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"PlayingTitle", u"Song B"));
    ASSERT_TRUE(recorder.WaitFor(2));
    EXPECT_EQ(StringBytes(u"Song B"), recorder.At(1).data);
    ASSERT_EQ(0, ChildProcess("RegistrySetTitle", {"From the child"}).Wait());
    ASSERT_TRUE(recorder.WaitFor(3));
    EXPECT_EQ(StringBytes(u"From the child"), recorder.At(2).data);

    // Closed: no more callbacks, and the handle is no longer known.
    EXPECT_EQ(S_OK, RegistryCloseNotification(handle));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"PlayingTitle", u"Two"));
    barrier.Pass();
    EXPECT_EQ(3u, recorder.Count());
    EXPECT_EQ(E_INVALIDARG, RegistryCloseNotification(handle));
}

TEST(RegistryNotifyCallback, WatchesAKeyNotYetThereAndReportsDeletionWithoutData) {
    TempDeviceRoot root;
    Recorder recorder;
    HREGNOTIFY handle = nullptr;
    ASSERT_EQ(S_OK, Watch(kCalvaroKey, u"Volume", recorder, &handle));
    ScopedKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"Volume", 5));
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_EQ(DwordBytes(5), recorder.At(0).data);

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"Volume"));
    ASSERT_TRUE(recorder.WaitFor(2));
    EXPECT_FALSE(recorder.At(1).data.has_value());
    EXPECT_EQ(0u, recorder.At(1).cbData);
    // Deleting the key deletes the value with it.
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"Volume", 6));
    ASSERT_TRUE(recorder.WaitFor(3));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Orvi"));
    ASSERT_TRUE(recorder.WaitFor(4));
    EXPECT_FALSE(recorder.At(3).data.has_value());
    EXPECT_EQ(S_OK, RegistryCloseNotification(handle));
}

TEST(RegistryNotifyCallback, ConditionSelectsWhichChangesAreReported) {
    TempDeviceRoot root;
    ScopedKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    Barrier barrier;
    Recorder numbers, texts;
    HREGNOTIFY numbersHandle = nullptr, textsHandle = nullptr;
    NOTIFICATIONCONDITION equalsThree{REG_CT_EQUAL, 0xFF, {}};
    equalsThree.TargetValue.dw = 3;
    ASSERT_EQ(S_OK, Watch(kCalvaroKey, u"State", numbers, &numbersHandle, &equalsThree));
    NOTIFICATIONCONDITION startsWithRadio{REG_CT_STARTS_WITH, 0, {}};
    startsWithRadio.TargetValue.psz = u"radio";
    ASSERT_EQ(S_OK, Watch(kCalvaroKey, u"PlayingStation", texts, &textsHandle, &startsWithRadio));

    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"State", 1));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"PlayingStation", u"Jazz FM"));
    barrier.Pass();
    EXPECT_EQ(0u, numbers.Count());
    EXPECT_EQ(0u, texts.Count());
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"State", 3));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"PlayingStation", u"RADIO One"));
    ASSERT_TRUE(numbers.WaitFor(1));
    ASSERT_TRUE(texts.WaitFor(1));
    EXPECT_EQ(StringBytes(u"RADIO One"), texts.At(0).data);
    // The mask applies before comparing: 0x103 & 0xFF is 3.
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"State", 0x103));
    ASSERT_TRUE(numbers.WaitFor(2));
    EXPECT_EQ(DwordBytes(0x103), numbers.At(1).data);
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"State", 4));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"PlayingStation"));
    barrier.Pass();
    EXPECT_EQ(2u, numbers.Count());
    EXPECT_EQ(1u, texts.Count());
    EXPECT_EQ(S_OK, RegistryCloseNotification(numbersHandle));
    EXPECT_EQ(S_OK, RegistryCloseNotification(textsHandle));
}

TEST(RegistryNotifyCallback, RejectsBadArgumentsAndRunsTheThreadOnlyWhileOpen) {
    TempDeviceRoot root;
    Recorder recorder;
    auto handle = reinterpret_cast<HREGNOTIFY>(0x1);
    EXPECT_EQ(E_INVALIDARG, RegistryNotifyCallback(HKEY_LOCAL_MACHINE, u"A", u"B", nullptr, 0, nullptr, &handle));
    EXPECT_EQ(nullptr, handle);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE),
              RegistryNotifyCallback(reinterpret_cast<HKEY>(0x99), u"A", u"B", Recorder::Callback, recorder.Id(),
                                     nullptr, &handle));
    NOTIFICATIONCONDITION unknown{static_cast<REG_COMPARISONTYPE>(42), 0, {}};
    EXPECT_EQ(E_INVALIDARG, Watch(u"A", u"B", recorder, &handle, &unknown));
    // Failed calls leave no thread; one thread runs while any notification is open.
    EXPECT_TRUE(NotificationThreadsBecome(0));
    HREGNOTIFY first = nullptr, second = nullptr;
    ASSERT_EQ(S_OK, Watch(kCalvaroKey, u"A", recorder, &first));
    ASSERT_EQ(S_OK, Watch(kCalvaroKey, u"B", recorder, &second));
    EXPECT_EQ(1, NotificationThreads());
    EXPECT_EQ(S_OK, RegistryCloseNotification(first));
    EXPECT_EQ(1, NotificationThreads());
    EXPECT_EQ(S_OK, RegistryCloseNotification(second));
    EXPECT_TRUE(NotificationThreadsBecome(0));

    ScopedKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    HANDLE event = CeFindFirstRegChange(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET);
    ASSERT_NE(INVALID_HANDLE_VALUE, event);
    EXPECT_EQ(1, NotificationThreads());
    EXPECT_TRUE(CeFindCloseRegChange(event));
    EXPECT_TRUE(NotificationThreadsBecome(0));
}

TEST(RegistryCloseNotification, WorksFromInsideItsOwnCallback) {
    TempDeviceRoot root;
    ScopedKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    HRESULT closed = E_FAIL;
    Recorder recorder;
    recorder.onCall = [&](HREGNOTIFY handle) { closed = RegistryCloseNotification(handle); };
    HREGNOTIFY handle = nullptr;
    // The only notification: closing it ends the thread from within.
    ASSERT_EQ(S_OK, Watch(kCalvaroKey, u"PlayingTitle", recorder, &handle));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"PlayingTitle", u"One"));
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_EQ(S_OK, closed);
    // A new notification starts a new thread and the old one is not heard.
    Barrier barrier;
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"PlayingTitle", u"Two"));
    barrier.Pass();
    EXPECT_EQ(1u, recorder.Count());
}

TEST(CeFindFirstRegChange, SignalledAfterChangesHereAndInAnotherProcessNoneLost) {
    TempDeviceRoot root;
    ScopedKey key, sibling;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Orvi\\Other", &sibling));
    Barrier barrier;
    HANDLE event = CeFindFirstRegChange(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET);
    ASSERT_NE(INVALID_HANDLE_VALUE, event);
    EXPECT_EQ(kUnset, Wait(event));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(sibling, u"Elsewhere", 1));
    barrier.Pass();
    EXPECT_EQ(kUnset, Wait(event));

    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"Volume", 1));
    EXPECT_EQ(kSet, Wait(event, kGenerousMs));
    EXPECT_EQ(kSet, Wait(event));  // stays set
    // A change while signalled is seen again after the next call.
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"Volume", 2));
    barrier.Pass();
    EXPECT_TRUE(CeFindNextRegChange(event));
    EXPECT_EQ(kSet, Wait(event));
    EXPECT_TRUE(CeFindNextRegChange(event));
    EXPECT_EQ(kUnset, Wait(event));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"Volume"));
    EXPECT_EQ(kSet, Wait(event, kGenerousMs));
    EXPECT_TRUE(CeFindNextRegChange(event));
    EXPECT_EQ(kUnset, Wait(event));
    ASSERT_EQ(0, ChildProcess("RegistrySetTitle", {"Child"}).Wait());
    EXPECT_EQ(kSet, Wait(event, kGenerousMs));
    EXPECT_TRUE(CeFindCloseRegChange(event));
}

TEST(CeFindFirstRegChange, FilterAndSubtreeChooseWhatCounts) {
    TempDeviceRoot root;
    ScopedKey key, skins;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    Barrier barrier;
    HANDLE names = CeFindFirstRegChange(key, FALSE, REG_NOTIFY_CHANGE_NAME);
    HANDLE tree = CeFindFirstRegChange(key, TRUE, REG_NOTIFY_CHANGE_LAST_SET);
    HANDLE flat = CeFindFirstRegChange(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET);
    for (HANDLE h : {names, tree, flat})
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
    // A new empty subkey is a name change only.
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(key, u"Skins", &skins));
    EXPECT_EQ(kSet, Wait(names, kGenerousMs));
    barrier.Pass();
    EXPECT_EQ(kUnset, Wait(tree));
    EXPECT_EQ(kUnset, Wait(flat));
    // A value below the key counts for the subtree only.
    EXPECT_TRUE(CeFindNextRegChange(names));
    ASSERT_EQ(ERROR_SUCCESS, SetString(skins, u"Current", u"Blue"));
    EXPECT_EQ(kSet, Wait(tree, kGenerousMs));
    barrier.Pass();
    EXPECT_EQ(kUnset, Wait(names));
    EXPECT_EQ(kUnset, Wait(flat));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"ThemeFile", u"theme.xml"));
    EXPECT_EQ(kSet, Wait(flat, kGenerousMs));
    for (HANDLE h : {names, tree, flat})
        EXPECT_TRUE(CeFindCloseRegChange(h));
}

TEST(CeFindFirstRegChange, RejectsBadArguments) {
    TempDeviceRoot root;
    ScopedKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CeFindFirstRegChange(key, FALSE, REG_NOTIFY_CHANGE_NAME | 0x100));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CeFindFirstRegChange(reinterpret_cast<HKEY>(0x77), FALSE, REG_NOTIFY_CHANGE_NAME));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_LOCAL_MACHINE, kCalvaroKey));
    EXPECT_EQ(INVALID_HANDLE_VALUE, CeFindFirstRegChange(key, FALSE, REG_NOTIFY_CHANGE_NAME));
    EXPECT_EQ(static_cast<DWORD>(ERROR_KEY_DELETED), GetLastError());

    HANDLE event = CeFindFirstRegChange(HKEY_LOCAL_MACHINE, TRUE, REG_NOTIFY_CHANGE_NAME);
    ASSERT_NE(INVALID_HANDLE_VALUE, event);
    EXPECT_TRUE(CeFindCloseRegChange(event));
    SetLastError(0);
    EXPECT_FALSE(CeFindCloseRegChange(event));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(CeFindNextRegChange(event));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_TRUE(NotificationThreadsBecome(0));
}
