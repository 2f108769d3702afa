#include "frame_slot.h"

namespace lumora::gst {

FrameSlot::FrameSlot() {
    g_mutex_init(&mutex_);
    g_cond_init(&changed_);
}

FrameSlot::~FrameSlot() {
    g_cond_clear(&changed_);
    g_mutex_clear(&mutex_);
}

void FrameSlot::Open(LumoraHandle handle, bool reconnect) {
    g_mutex_lock(&mutex_);
    handle_ = handle;
    reconnect_ = reconnect;
    returns_ = 0;
    open_ = true;
    stopped_ = false;
    announced_ = false;
    failures_ = 0;
    refused_ = 0;
    lastFailure_ = 0;
    g_mutex_unlock(&mutex_);
}

void FrameSlot::Close() {
    g_mutex_lock(&mutex_);
    open_ = false;
    announced_ = false;
    g_cond_broadcast(&changed_);
    g_mutex_unlock(&mutex_);
}

void FrameSlot::SetFlushing(bool flushing) {
    g_mutex_lock(&mutex_);
    flushing_ = flushing;
    if (flushing) announced_ = false;
    g_cond_broadcast(&changed_);
    g_mutex_unlock(&mutex_);
}

void FrameSlot::SetReconnect(bool reconnect) {
    g_mutex_lock(&mutex_);
    reconnect_ = reconnect;
    g_mutex_unlock(&mutex_);
}

void FrameSlot::CameraBack() {
    g_mutex_lock(&mutex_);
    ++returns_;
    g_mutex_unlock(&mutex_);
}

unsigned FrameSlot::Returns() const {
    g_mutex_lock(&mutex_);
    const unsigned n = returns_;
    g_mutex_unlock(&mutex_);
    return n;
}

void FrameSlot::Announce(const FrameInfo* info) {
    g_mutex_lock(&mutex_);
    if (open_ && !flushing_ && info != nullptr) {
        details_ = LumoraExFrameDetails{};
        details_.size = sizeof(details_);
        // Allowed in the notifier: the details of the frame being announced.
        if (!LumoraEx_GetFrameDetails(handle_, &details_)) details_ = LumoraExFrameDetails{};
        announced_ = true;
        g_cond_broadcast(&changed_);
        while (announced_ && open_ && !flushing_) g_cond_wait(&changed_, &mutex_);
        if (announced_) ++refused_;  // not taken: the wait ended by a flush or the close
        announced_ = false;
    } else if (info != nullptr) {
        ++refused_;
    }
    g_mutex_unlock(&mutex_);
}

void FrameSlot::Failure(int code) {
    if (code == CAMERR_NONE) return;  // the per-frame "no error" of the automatic exposure
    g_mutex_lock(&mutex_);
    if (code == CAMERR_STREAM_STOPPED) {
        stopped_ = stopped_ || !reconnect_;
    } else {
        ++failures_;
        lastFailure_ = code;
    }
    g_cond_broadcast(&changed_);
    g_mutex_unlock(&mutex_);
}

FrameSlot::Result FrameSlot::Take(LumoraExFrameDetails* details) {
    g_mutex_lock(&mutex_);
    while (open_ && !flushing_ && !stopped_ && !announced_) g_cond_wait(&changed_, &mutex_);
    Result r = !open_ ? Result::kClosed : flushing_ ? Result::kFlushing : announced_ ? Result::kFrame : Result::kStopped;
    if (r == Result::kFrame) *details = details_;
    g_mutex_unlock(&mutex_);
    return r;
}

void FrameSlot::Release() {
    g_mutex_lock(&mutex_);
    announced_ = false;
    g_cond_broadcast(&changed_);
    g_mutex_unlock(&mutex_);
}

unsigned FrameSlot::Refused() const {
    g_mutex_lock(&mutex_);
    const unsigned n = refused_;
    g_mutex_unlock(&mutex_);
    return n;
}

unsigned FrameSlot::Failures(int* lastCode) const {
    g_mutex_lock(&mutex_);
    const unsigned n = failures_;
    if (lastCode) *lastCode = lastFailure_;
    g_mutex_unlock(&mutex_);
    return n;
}

}  // namespace lumora::gst
