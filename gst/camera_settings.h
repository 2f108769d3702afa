#pragma once
// The camera's settings as properties of lumorasrc: one table row per property, naming the SDK
// setter and getter behind it, so that a property is one row. The values the application set
// are applied when the camera opens (and at once while it runs, for the settings the SDK takes
// live); what the camera had before is put back before it is released, so that the element
// leaves the stored settings of the user as it found them.
#include <gst/gst.h>

#include <vector>

#include "lumora/LumoraSdk.h"

namespace lumora::gst {

// One property. set and get are SDK functions of the Lumora_Set<Name>(h, value) and
// Lumora_Get<Name>(h, &ok) shape (or small adapters of that shape).
struct SettingRow {
    enum class Kind { kInt, kBool, kEnum };
    const char* name;
    const char* blurb;
    Kind kind;
    int min, max, defaultValue;  // kInt; kBool uses 0..1; kEnum the values of enumType
    GType (*enumType)();         // kEnum only
    int (*set)(LumoraHandle, int);
    const char* setName;         // the SDK function behind set, for messages
    int (*get)(LumoraHandle, int*);
    bool live;                   // the SDK takes it while streaming
};

class CameraSettings {
public:
    // A failed SDK call: the property, the SDK function, and the code Lumora_GetLastError gave.
    struct Failure {
        const char* name = nullptr;
        const char* call = nullptr;
        int code = CAMERR_NONE;
    };

    CameraSettings();

    static const std::vector<SettingRow>& Rows();
    // Class initialisation: one GParamSpec per row, ids from firstId on.
    static void InstallProperties(GObjectClass* klass, guint firstId);
    // The row of a property id, or -1.
    static int RowOf(guint id, guint firstId);

    // Application thread. Keeps the value for the next Apply; with an open handle and a live row
    // also sets it at once (false and *failure when the SDK refused).
    bool Set(int row, const GValue* value, LumoraHandle handle, Failure* failure);
    // Application thread. The camera's value when a handle is open, else the value set (or the
    // default).
    void Get(int row, GValue* value, LumoraHandle handle) const;

    // Application thread, before the acquisition: the set values to the camera in table order
    // (subsampling and clock first), remembering what the camera had. False at the first
    // refusal.
    bool Apply(LumoraHandle handle, Failure* failure);
    // Application thread, before Lumora_Release: the remembered values back, in reverse order.
    void Restore(LumoraHandle handle);
    // Application thread: the capture window when one was set (width and height > 0): x, y,
    // width, height in sensor pixels.
    bool Window(int* x, int* y, int* width, int* height) const;
    void SetWindowPart(int part, int value);
    int WindowPart(int part) const;

private:
    struct Slot {
        int value = 0;
        bool set = false;        // set by the application
        bool remembered = false; // original holds what the camera had before Apply
        int original = 0;
    };
    std::vector<Slot> slots_;
    int window_[4] = {0, 0, 0, 0};
};

}  // namespace lumora::gst
