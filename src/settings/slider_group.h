#pragma once
// A trackbar, an up-down control and an edit control that show one integer, as the filter and
// gain pages use them. The identifiers and range are plain data; the window operations exist
// where dialogs do (Windows).
//
// Thread context: the thread that runs the dialog.
#include "platform/window_message.h"

namespace lumora {

struct SliderGroup {
    int trackbar;
    int edit;
    int upDown;
    int minimum;
    int maximum;
    int tickFrequency;

    // Trackbar range (maximum, then minimum), position and tick frequency; up-down range and
    // position with the edit as buddy; the edit's text as a signed number; all three enabled or
    // disabled together. page is the dialog window holding the three controls.
    void SetUp(platform::WindowHandle page, int value, bool enabled) const;
    // Trackbar position and edit text.
    void Show(platform::WindowHandle page, int value) const;
    // The edit's text as a signed number; 0 when it is not one.
    int Read(platform::WindowHandle page) const;
    // The trackbar's position.
    int Position(platform::WindowHandle page) const;

    // For pages whose groups edit one record field each (fields[i] for table[i]): the trackbar
    // with id moved, so its field and edit take the position; the edit with id changed, so its
    // field and trackbar take the typed number (not clamped). Ids of no group do nothing.
    static void Scrolled(const SliderGroup* table, int count, int* const* fields, platform::WindowHandle page,
                         int id);
    static void Edited(const SliderGroup* table, int count, int* const* fields, platform::WindowHandle page, int id);
};

// The group of table[0 .. count-1] whose trackbar (or edit) is id; null when none is.
const SliderGroup* FindByTrackbar(const SliderGroup* table, int count, int id);
const SliderGroup* FindByEdit(const SliderGroup* table, int count, int id);

}  // namespace lumora
