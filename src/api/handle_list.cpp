#include "api/handle_list.h"

#include "platform/clock.h"
#include "platform/random.h"

namespace lumora {

HandleList::HandleList()
    : HandleList([] {
          return static_cast<uint32_t>(platform::RuntimeRandom()) + platform::TickCount();
      }) {}

HandleList::HandleList(KeySource source) : source_(std::move(source)) {}

HandleList::~HandleList() {
    while (head_ != nullptr) {
        HandleNode* node = head_;
        head_ = node->next == node ? nullptr : node->next;
        node->previous->next = node->next;
        node->next->previous = node->previous;
        delete node;
    }
    count_ = 0;
}

bool HandleList::Contains(CameraHandle key) const {
    const HandleNode* node = head_;
    for (int i = 0; i < count_; ++i, node = node->next) {
        if (node->key == key) return true;
    }
    return false;
}

CameraHandle HandleList::Insert(CameraObject* object) {
    std::lock_guard<std::mutex> lock(mutex_);
    CameraHandle key;
    do {
        key = static_cast<CameraHandle>(source_() + static_cast<uint32_t>(count_));
    } while (key == 0 || Contains(key));

    auto* node = new HandleNode{key, object, nullptr, nullptr};
    if (head_ == nullptr) {
        node->previous = node->next = node;
    } else {
        node->previous = head_->previous;
        node->next = head_;
        head_->previous->next = node;
        head_->previous = node;
    }
    head_ = node;
    ++count_;
    return key;
}

HandleList::HandleNode* HandleList::Find(CameraHandle key) {
    if (head_ == nullptr) return nullptr;
    HandleNode* last = head_->previous;
    for (;;) {
        if (head_->key == key) return head_;
        if (head_ == last) return nullptr;
        head_ = head_->next;
    }
}

CameraObject* HandleList::Lookup(CameraHandle key) {
    std::lock_guard<std::mutex> lock(mutex_);
    HandleNode* node = Find(key);
    return node ? node->object : nullptr;
}

CameraObject* HandleList::DetachObject(CameraHandle key) {
    std::lock_guard<std::mutex> lock(mutex_);
    HandleNode* node = Find(key);
    if (node == nullptr) return nullptr;
    CameraObject* object = node->object;
    node->object = nullptr;
    return object;
}

bool HandleList::Remove(CameraHandle key) {
    std::lock_guard<std::mutex> lock(mutex_);
    HandleNode* node = Find(key);
    if (node == nullptr) return false;
    if (count_ == 1) {
        head_ = nullptr;
    } else {
        node->previous->next = node->next;
        node->next->previous = node->previous;
        head_ = node->next;
    }
    --count_;
    delete node;
    return true;
}

bool HandleList::AnyObject(const std::function<bool(const CameraObject&)>& test) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const HandleNode* node = head_;
    for (int i = 0; i < count_; ++i, node = node->next) {
        if (node->object != nullptr && test(*node->object)) return true;
    }
    return false;
}

int HandleList::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

CameraHandle HandleList::HeadKey() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return head_ ? head_->key : 0;
}

}  // namespace lumora
