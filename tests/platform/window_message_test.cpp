// Posting on Linux: a LumoraNotifier is called on the posting thread; anything else given where a
// notifier belongs receives nothing and brings nothing down; the test sink takes precedence.
#include <gtest/gtest.h>

#include <thread>

#include "camera/camera_object.h"
#include "../camera/camera_object_probe.h"
#include "lumora/LumoraSdk.h"
#include "platform/window_message.h"

namespace {

struct Received {
    int calls = 0;
    unsigned message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    std::thread::id thread;
};

void Note(void* context, unsigned message, uintptr_t wParam, intptr_t lParam) {
    Received* r = static_cast<Received*>(context);
    *r = {r->calls + 1, message, wParam, lParam, std::this_thread::get_id()};
}

using lumora::platform::PostWindowMessage;

TEST(NotifierTest, OnlyATaggedRecordWithAFunctionIsCalledOnThePostingThread) {
    Received got;
    LumoraNotifier good{LUMORA_NOTIFIER_TAG, Note, &got}, wrongTag{LUMORA_NOTIFIER_TAG ^ 1u, Note, &got},
        noFunction{LUMORA_NOTIFIER_TAG, nullptr, &got};
    alignas(LumoraNotifier) uint32_t foreign[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const struct {
        void* window;
        bool delivered;
    } cases[] = {{&good, true}, {&wrongTag, false}, {&noFunction, false}, {nullptr, false}, {foreign, false},
                 {reinterpret_cast<char*>(&good) + 1, false},            // misaligned
                 {reinterpret_cast<void*>(uintptr_t{0x2a00008}), false},  // an X11 window id
                 {reinterpret_cast<void*>(uintptr_t{8}), false}};
    for (const auto& c : cases) {
        got = Received{};
        std::thread::id poster;
        std::thread t([&] {
            poster = std::this_thread::get_id();
            EXPECT_EQ(PostWindowMessage(c.window, CAMMSG_FRAME, 0x1234, -5), c.delivered) << c.window;
        });
        t.join();
        EXPECT_EQ(got.calls, c.delivered ? 1 : 0) << c.window;
    }
    got = Received{};
    ASSERT_TRUE(PostWindowMessage(&good, CAMMSG_FRAME, 0x1234, -5));
    EXPECT_EQ(got.message, static_cast<unsigned>(CAMMSG_FRAME));
    EXPECT_EQ(got.wParam, 0x1234u);
    EXPECT_EQ(got.lParam, -5);
    EXPECT_EQ(got.thread, std::this_thread::get_id());

    // The camera posts its errors to the error window's notifier.
    lumora::CameraObject camera;
    lumora::CameraObjectProbe::ErrorWindow(camera) = &good;
    camera.RecordError(CAMERR_WINDOW);
    EXPECT_EQ(got.calls, 2);
    EXPECT_EQ(got.message, static_cast<unsigned>(CAMMSG_ERROR));
    EXPECT_EQ(got.lParam, CAMERR_WINDOW);

    int sunk = 0;
    lumora::platform::SetMessageSink([&](void*, uint32_t, uintptr_t, intptr_t) { ++sunk; });
    EXPECT_TRUE(PostWindowMessage(&good, CAMMSG_FRAME, 0, 0));
    lumora::platform::SetMessageSink(nullptr);
    EXPECT_EQ(sunk * 10 + got.calls, 12);
}

}  // namespace
