// Posting on Linux: a LumoraNotifier is called on the posting thread; anything else that is given
// where a notifier belongs receives nothing and brings nothing down.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

#include "camera/camera_object.h"
#include "lumora/LumoraSdk.h"
#include "platform/window_message.h"

namespace {

struct Received {
    int calls = 0;
    void* context = nullptr;
    unsigned message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    std::thread::id thread;
};

void Note(void* context, unsigned message, uintptr_t wParam, intptr_t lParam) {
    Received* r = static_cast<Received*>(context);
    *r = {r->calls + 1, context, message, wParam, lParam, std::this_thread::get_id()};
}

using lumora::platform::PostWindowMessage;

TEST(NotifierTest, OnlyATaggedRecordWithAFunctionIsCalled) {
    Received got;
    LumoraNotifier good{LUMORA_NOTIFIER_TAG, Note, &got};
    LumoraNotifier wrongTag{LUMORA_NOTIFIER_TAG ^ 1u, Note, &got};
    LumoraNotifier noFunction{LUMORA_NOTIFIER_TAG, nullptr, &got};
    alignas(LumoraNotifier) uint32_t foreign[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Case {
        const char* what;
        void* window;
        bool delivered;
    } cases[] = {
        {"notifier", &good, true},
        {"wrong tag", &wrongTag, false},
        {"no function", &noFunction, false},
        {"null", nullptr, false},
        {"other data", foreign, false},
        {"inside the notifier, misaligned", reinterpret_cast<char*>(&good) + 1, false},
        {"an X11 window id", reinterpret_cast<void*>(uintptr_t{0x2a00008}), false},
        {"first page", reinterpret_cast<void*>(uintptr_t{8}), false},
    };
    for (const Case& c : cases) {
        got = Received{};
        EXPECT_EQ(PostWindowMessage(c.window, CAMMSG_FRAME, 0x1234, -5), c.delivered) << c.what;
        EXPECT_EQ(got.calls, c.delivered ? 1 : 0) << c.what;
    }
    got = Received{};
    ASSERT_TRUE(PostWindowMessage(&good, CAMMSG_FRAME, 0x1234, -5));
    EXPECT_EQ(got.context, &got);
    EXPECT_EQ(got.message, static_cast<unsigned>(CAMMSG_FRAME));
    EXPECT_EQ(got.wParam, 0x1234u);
    EXPECT_EQ(got.lParam, -5);
}

TEST(NotifierTest, CalledOnThePostingThreadAndByTheCameraForErrors) {
    Received got;
    LumoraNotifier notifier{LUMORA_NOTIFIER_TAG, Note, &got};
    std::thread::id poster;
    std::thread t([&] {
        poster = std::this_thread::get_id();
        PostWindowMessage(&notifier, CAMMSG_FRAME, 0, CAMERR_TRANSFER);
    });
    t.join();
    EXPECT_EQ(got.calls, 1);
    EXPECT_EQ(got.thread, poster);

    lumora::CameraObject camera;
    camera.errorWindow = &notifier;
    camera.RecordError(CAMERR_WINDOW);
    EXPECT_EQ(got.calls, 2);
    EXPECT_EQ(got.message, static_cast<unsigned>(CAMMSG_ERROR));
    EXPECT_EQ(got.wParam, 0u);
    EXPECT_EQ(got.lParam, CAMERR_WINDOW);
}

TEST(NotifierTest, TheTestSinkTakesEveryMessageWhileSet) {
    Received got;
    LumoraNotifier notifier{LUMORA_NOTIFIER_TAG, Note, &got};
    int sunk = 0;
    lumora::platform::SetMessageSink([&](void*, uint32_t, uintptr_t, intptr_t) { ++sunk; });
    EXPECT_TRUE(PostWindowMessage(&notifier, CAMMSG_FRAME, 0, 0));
    lumora::platform::SetMessageSink(nullptr);
    EXPECT_TRUE(PostWindowMessage(&notifier, CAMMSG_FRAME, 0, 0));
    EXPECT_EQ(sunk, 1);
    EXPECT_EQ(got.calls, 1);
}

}  // namespace
