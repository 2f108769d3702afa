#pragma once
// The process-wide ring of open camera handles.
//
// Lookups rotate the ring so that the node found becomes the head, which keeps the most recently
// used camera first. A mutex guards the ring so that calls from several threads cannot corrupt
// it; callers that keep to one thread see exactly the rotation described above.
#include <cstdint>
#include <functional>
#include <mutex>

namespace lumora {

class CameraObject;

using CameraHandle = int32_t;

class HandleList {
public:
    // Draws the raw part of a new key; the node count is added to it. The default is the C
    // runtime's rand() plus the tick count.
    using KeySource = std::function<uint32_t()>;

    HandleList();
    explicit HandleList(KeySource source);
    // Removes every node; camera objects still listed are not destroyed.
    ~HandleList();
    HandleList(const HandleList&) = delete;
    HandleList& operator=(const HandleList&) = delete;

    // Enters object (not owned by the list) under a new key, as the new head, and returns the key.
    // The key is never 0 and never one already open: such a draw is repeated.
    CameraHandle Insert(CameraObject* object);
    // The camera object of key, which becomes the head; null when key is not open or its node's
    // object is already gone.
    CameraObject* Lookup(CameraHandle key);
    // Takes the camera object out of key's node (the node stays until Remove); null when none.
    CameraObject* DetachObject(CameraHandle key);
    // Unlinks key's node; its successor becomes the head. False when key is not open.
    bool Remove(CameraHandle key);

    // True when test holds for the camera object of some node (nodes whose object is gone are
    // skipped). test runs under the list's lock: it must not call back into the list.
    bool AnyObject(const std::function<bool(const CameraObject&)>& test) const;

    int Count() const;
    // Key of the head node, 0 when the list is empty.
    CameraHandle HeadKey() const;

private:
    struct HandleNode {
        CameraHandle key;
        CameraObject* object;
        HandleNode* previous;
        HandleNode* next;
    };

    // Rotates the head onto key's node; null when key is not in the ring. Caller holds mutex_.
    HandleNode* Find(CameraHandle key);
    bool Contains(CameraHandle key) const;

    mutable std::mutex mutex_;
    KeySource source_;
    HandleNode* head_ = nullptr;
    int count_ = 0;
};

}  // namespace lumora

namespace lumora {

// The one list of the process, behind every export.
HandleList& ProcessHandleList();

}  // namespace lumora
